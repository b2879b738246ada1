// The launcher's message boxes on Windows: the launcher's name as caption, the system's box
// with Chinese text through the wide API, an exclamation on OK and Retry boxes (which name the
// log's place) and a question mark on Yes/No boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "flow/launcher_views.h"

namespace tavrin::win {

struct BoxRequest {
    std::wstring caption;
    std::wstring text;
    MessageKind kind = MessageKind::kOk;
    MessageIcon icon = MessageIcon::kUsual;
    std::wstring logFile;  // where the log is, on error boxes; shown after the text
};

// The MessageBoxW style for a box: its buttons and icon.
UINT BoxStyle(MessageKind kind, MessageIcon icon);
// The answer for the button MessageBoxW reports. The system's box has no Quit button: on a
// Retry/Quit box its Cancel is the Quit.
MessageAnswer AnswerFor(MessageKind kind, int pressed);

MessageAnswer ShowMessage(HWND owner, const Message& message);

// Tests answer boxes through this hook instead of a real modal box. An empty function
// restores the real boxes.
void SetMessageBoxHook(std::function<MessageAnswer(const BoxRequest&)> hook);

}  // namespace tavrin::win
