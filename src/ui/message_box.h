// The launcher's message boxes: the base name as caption, an exclamation icon on OK boxes
// and a question icon on Yes/No boxes.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tavrin::ui {

enum class MessageKind { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

struct MessageRequest {
    QString caption;
    QString text;
    MessageKind kind;
};

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageKind kind);

// Tests answer message boxes through this hook instead of a real modal box, which would
// block them. An empty function restores the real boxes.
using MessageBoxHook = std::function<MessageAnswer(const MessageRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace tavrin::ui
