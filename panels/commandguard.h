#pragma once
// The two steps every command slot takes before it talks to the active controller.

#include <QString>

class QWidget;

// True if the kernel's active controller is connected; otherwise warns
// "Controller on %1 isn't connected." and returns false. Without an active controller it
// returns false and shows nothing.
bool RequireConnectedController(QWidget* parent);

// True if the active controller's last status holds no error, or the operator agreed to
// acknowledge it (then FehlerQuitieren has been called). False if the operator declined.
bool AcknowledgePendingError(QWidget* parent, const QString& title);
