#pragma once

#include <QProgressDialog>

// The progress dialog of work that runs on: the work cannot be stopped, so
// neither Escape nor a close request from the window system takes it away.
// The owner closes it when the result comes.
class WorkProgressDialog : public QProgressDialog {
    Q_OBJECT

public:
    WorkProgressDialog(const QString& label, int minimum, int maximum, QWidget* parent = nullptr,
        Qt::WindowFlags flags = {});

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
