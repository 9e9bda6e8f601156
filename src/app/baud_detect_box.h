// The Detect command's modal progress box: it shows the session's baud
// rate search as it goes and can cancel it. Messages keep being dispatched
// while it runs, so the identity reply updates the title and version pane
// as usual.
#pragma once

class QWidget;

namespace tolvane {

class CompassSession;

// Runs the search on the session's open port until it ends or is cancelled.
void RunBaudDetection(CompassSession& session, QWidget* parent);

} // namespace tolvane
