// The launcher's message boxes: the launcher's name as caption, an exclamation icon on OK and
// Retry/Quit boxes (which name the log's place) and a question icon on Yes/No boxes.
#pragma once

#include <functional>

#include <QString>

#include "flow/launcher_views.h"

class QWidget;

namespace tavrin::ui {

struct MessageRequest {
    QString caption;
    QString text;
    MessageKind kind;
    MessageIcon icon;
    QString logFile;  // where the log is, on error boxes; shown after the text
};

// The name the windows' captions and the boxes carry: the operator's product name when the
// build has one, else the program's base name.
QString CaptionName();

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageKind kind,
                          MessageIcon icon = MessageIcon::kUsual);

// Tests answer message boxes through this hook instead of a real modal box, which would
// block them. An empty function restores the real boxes.
using MessageBoxHook = std::function<MessageAnswer(const MessageRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace tavrin::ui
