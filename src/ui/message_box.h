// The launcher's message boxes: the base name as caption, an exclamation icon on OK and
// Retry/Quit boxes and a question icon on Yes/No boxes.
#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace tavrin::ui {

// kRetryQuit: a failure the player can try again (重试) or end with (退出); kRetryCancel:
// one the player can try again or leave for now (取消), the launcher going on.
enum class MessageKind { kOk, kYesNo, kRetryQuit, kRetryCancel };
enum class MessageAnswer { kOk, kYes, kNo, kRetry, kQuit, kCancel };
// kUsual: the exclamation on OK boxes, the question mark on Yes/No boxes.
enum class MessageIcon { kUsual, kNone };

struct MessageRequest {
    QString caption;
    QString text;
    MessageKind kind;
    MessageIcon icon;
};

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageKind kind,
                          MessageIcon icon = MessageIcon::kUsual);

// Tests answer message boxes through this hook instead of a real modal box, which would
// block them. An empty function restores the real boxes.
using MessageBoxHook = std::function<MessageAnswer(const MessageRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace tavrin::ui
