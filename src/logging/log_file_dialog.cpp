#include "logging/log_file_dialog.h"

#include <sys/stat.h>

#include <QFileInfo>
#include <QMessageBox>

#include "logging/printf_text.h"

namespace tolvane {
namespace {

// Plain text: a file name with '<' must not be taken for markup.
int AskBox(QMessageBox::Icon icon, const char* title, const std::string& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton, QWidget* owner)
{
    QMessageBox box(icon, QString::fromUtf8(title), QString::fromLocal8Bit(text), buttons, owner);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

LogFileDialog::LogFileDialog(LogFile& log, QWidget* parent, const std::string& folder, const std::string& fileName)
    : QFileDialog(parent), log_(log)
{
    // The widget dialog: only it lets accept() hold the dialog open.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::AnyFile);
    setWindowTitle(QStringLiteral("Open Logging File"));
    setNameFilters({QStringLiteral("Compass log files (Compass*.dta)"), QStringLiteral("All files (*.*)")});
    setDirectory(QFile::decodeName(folder.empty() ? std::string("/").c_str() : folder.c_str()));
    selectFile(QFile::decodeName(fileName.c_str()));
}

void LogFileDialog::accept()
{
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return;
    // A folder is entered, as the base dialog does.
    if (QFileInfo(files.first()).isDir() || OpenChosen(files.first())) QFileDialog::accept();
}

bool LogFileDialog::OpenChosen(const QString& path)
{
    const std::string fullPath = QFile::encodeName(path).toStdString();
    const std::string name = fullPath.substr(fullPath.rfind('/') + 1);
    bool append = false;
    struct stat status {};
    if (::stat(fullPath.c_str(), &status) == 0 && status.st_size != 0) {
        const int answer = AskBox(QMessageBox::Question, "File Exists",
                                  PrintfText("%s exists and has %u bytes.\nOpen to append? (If you reply \"no,\"\n"
                                             "the contents of the file will be lost.)",
                                             name.c_str(), static_cast<unsigned>(status.st_size)),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes, this);
        if (answer == QMessageBox::Cancel) return false;
        append = answer == QMessageBox::Yes;
    }
    if (!log_.OpenStream(fullPath, append)) {
        AskBox(QMessageBox::Critical, "Open Failure", PrintfText("%s will not open.", name.c_str()), QMessageBox::Ok,
               QMessageBox::NoButton, this);
        return false;
    }
    openedPath_ = fullPath;
    return true;
}

void LogOpenCommand(LogFile& log, QWidget* frame, bool versionKnown, std::uint32_t serial)
{
    if (log.Logging()) {
        const int answer = AskBox(QMessageBox::Question, " Log File Already Open",
                                  PrintfText("%s\nis already open for logging.\nClose it?", log.FileName().c_str()),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No, nullptr);
        if (answer != QMessageBox::Yes) return;
        log.Close();
    }
    LogFileDialog dialog(log, frame, log.Folder(), log.ProposedName(versionKnown, serial));
    if (dialog.exec() != QDialog::Accepted || !log.Logging()) return;
    log.StartSection(dialog.OpenedPath());
}

void LogBumpCommand(LogFile& log, QWidget* frame, bool versionKnown, std::uint32_t serial)
{
    if (log.Bump() == LogFile::BumpResult::NeedsDialog) LogOpenCommand(log, frame, versionKnown, serial);
}

} // namespace tolvane
