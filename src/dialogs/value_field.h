// The five settings the Initializations and Start-Up Defaults dialogs
// share (declination, azimuth, roll and pitch offsets, orientation rate),
// each an edit field with a "Load" box, and the handlers bound to their
// controls, which hand the fields' texts to the rules of
// value_field_rules.h. The controls carry the same identifiers in both
// templates.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

#include "dialogs/value_field_rules.h"

class QDialog;
class QLineEdit;

namespace tolvane {

enum ValueControlId : int {
    kEastId = 1017,
    kWestId = 1018,
    kDeclinationEditId = 1266,
    kDeclinationLoadId = 1269,
    kAzimuthEditId = 1270,
    kAzimuthLoadId = 1273,
    kRollEditId = 1331,
    kPitchEditId = 1333,
    kRateEditId = 1335,
    kRollLoadId = 1337,
    kPitchLoadId = 1338,
    kRateLoadId = 1339,
};

// "Numbers only, please.", owned by no window.
void TellNumbersOnly();

// The values are the SettingValues' `angles` and `rate`.
class ValueFields : public QObject, public SettingValues {
    Q_OBJECT

public:
    // Binds the handlers to the controls of `dialog` that exist.
    explicit ValueFields(QDialog& dialog);

    // Unchecks the Load boxes and limits the fields to kFieldMaxLength.
    void Prepare();
    // Empties the fields and unchecks "E" and "W".
    void Clear();
    // Each value becomes working and received value, and is shown.
    void Receive(float declination, float azimuth, float roll, float pitch, std::int32_t intervalMs);

    void ShowDeclination();
    void ShowOffset(Angle angle);
    void ShowRate();

    // Shows "Should be +/-180, please." and selects the field when the
    // angle's working value is out of range.
    bool RangeCheck180(Angle angle);
    // OK waits while the declination is typed: it is only taken over
    // when its field loses the focus.
    bool DeclinationBeingTyped() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DeclinationEdited();
    void DeclinationLeft();
    void HemisphereClicked(bool west);
    void OffsetEdited(Angle angle);
    void RateEdited();
    void RateLeft();
    void LoadClicked(int loadId);
    void SetHemisphere(bool east, bool west);
    void SetRateText(const QString& text);
    // After a typed text was refused: tells why and selects it for correcting.
    void Refuse(Typed typed, QLineEdit& edit);

    QDialog& dialog_;
    // What the program last wrote into the rate field.
    QString rateText_;
};

} // namespace tolvane
