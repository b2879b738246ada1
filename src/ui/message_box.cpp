#include "ui/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "app/version.h"

namespace tavrin::ui {

namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
}  // namespace

QString CaptionName() {
    return kProductName[0] != '\0' ? QString::fromUtf8(kProductName)
                                   : QString::fromLocal8Bit(g_strBaseName);
}

void SetMessageBoxHook(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageKind kind,
                          MessageIcon icon) {
    MessageRequest request{CaptionName(), text, kind, icon, {}};
    if (NamesTheLog(kind, icon)) {
        request.logFile = QString::fromLocal8Bit(DiagnosticsFile());
    }
    if (Hook()) {
        return Hook()(request);
    }
    const QString shown = request.logFile.isEmpty()
                              ? text
                              : text + QStringLiteral("\n\n") + QString::fromUtf8(kLogPlaceLabel) +
                                    QStringLiteral("\n") + request.logFile;
    if (kind == MessageKind::kRetryQuit || kind == MessageKind::kRetryCancel) {
        const bool quits = kind == MessageKind::kRetryQuit;
        QMessageBox box(icon == MessageIcon::kNone ? QMessageBox::NoIcon : QMessageBox::Warning,
                        request.caption, shown, QMessageBox::NoButton, parent);
        QPushButton* retry = box.addButton(QCoreApplication::translate("MessageBox", "重试"),
                                           QMessageBox::AcceptRole);
        box.addButton(quits ? QCoreApplication::translate("MessageBox", "退出")
                            : QCoreApplication::translate("MessageBox", "取消"),
                      QMessageBox::RejectRole);
        box.setDefaultButton(retry);
        box.exec();
        if (box.clickedButton() == retry) {
            return MessageAnswer::kRetry;
        }
        return quits ? MessageAnswer::kQuit : MessageAnswer::kCancel;
    }
    if (kind == MessageKind::kOk) {
        QMessageBox box(icon == MessageIcon::kNone ? QMessageBox::NoIcon : QMessageBox::Warning,
                        request.caption, shown, QMessageBox::Ok, parent);
        box.exec();
        return MessageAnswer::kOk;
    }
    QMessageBox box(icon == MessageIcon::kNone ? QMessageBox::NoIcon : QMessageBox::Question,
                    request.caption, shown, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

}  // namespace tavrin::ui
