#include "win/message_box.h"

#include <utility>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "win/win_text.h"

namespace tavrin::win {

namespace {

std::function<MessageAnswer(const BoxRequest&)>& Hook() {
    static std::function<MessageAnswer(const BoxRequest&)> hook;
    return hook;
}

// The system's box says Retry/Cancel; a box that ends the program says 重试 and 退出. Its
// buttons are named as it comes up, by a hook on this thread for that one box.
thread_local HHOOK t_buttonNamer = nullptr;
thread_local const wchar_t* t_cancelName = nullptr;

LRESULT CALLBACK NameButtons(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const auto box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDRETRY, L"\u91cd\u8bd5");  // 重试
        SetDlgItemTextW(box, IDCANCEL, t_cancelName);
        UnhookWindowsHookEx(t_buttonNamer);
        t_buttonNamer = nullptr;
        return 0;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void SetMessageBoxHook(std::function<MessageAnswer(const BoxRequest&)> hook) {
    Hook() = std::move(hook);
}

UINT BoxStyle(MessageKind kind, MessageIcon icon) {
    const bool usual = icon == MessageIcon::kUsual;
    switch (kind) {
        case MessageKind::kYesNo:
            return MB_YESNO | (usual ? MB_ICONQUESTION : 0u);
        case MessageKind::kRetryQuit:
        case MessageKind::kRetryCancel:
            return MB_RETRYCANCEL | (usual ? MB_ICONEXCLAMATION : 0u);
        case MessageKind::kOk:
            break;
    }
    return MB_OK | (usual ? MB_ICONEXCLAMATION : 0u);
}

MessageAnswer AnswerFor(MessageKind kind, int pressed) {
    switch (pressed) {
        case IDYES:
            return MessageAnswer::kYes;
        case IDNO:
            return MessageAnswer::kNo;
        case IDRETRY:
            return MessageAnswer::kRetry;
        case IDCANCEL:
            // Closing a Yes/No box is a No; a Retry/Quit box's other button ends the program.
            return kind == MessageKind::kRetryQuit ? MessageAnswer::kQuit
                   : kind == MessageKind::kYesNo   ? MessageAnswer::kNo
                   : kind == MessageKind::kOk      ? MessageAnswer::kOk
                                                   : MessageAnswer::kCancel;
        default:
            return kind == MessageKind::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
    }
}

MessageAnswer ShowMessage(HWND owner, const Message& message) {
    BoxRequest request{CaptionName(), WideFromUtf8(message.text), message.kind, message.icon};
    if (NamesTheLog(message.kind, message.icon)) {
        request.logFile = WideFromAnsi(DiagnosticsFile());
    }
    if (Hook()) {
        return Hook()(request);
    }
    if (message.kind == MessageKind::kRetryQuit || message.kind == MessageKind::kRetryCancel) {
        t_cancelName = message.kind == MessageKind::kRetryQuit ? L"\u9000\u51fa"   // 退出
                                                               : L"\u53d6\u6d88";  // 取消
        t_buttonNamer = SetWindowsHookExW(WH_CBT, &NameButtons, nullptr, GetCurrentThreadId());
    }
    const std::wstring text =
        request.logFile.empty()
            ? request.text
            : request.text + L"\n\n" + WideFromUtf8(kLogPlaceLabel) + L"\n" + request.logFile;
    const int pressed = MessageBoxW(owner, text.c_str(), request.caption.c_str(),
                                    BoxStyle(message.kind, message.icon) | MB_SETFOREGROUND);
    if (t_buttonNamer != nullptr) {
        UnhookWindowsHookEx(t_buttonNamer);  // the box never came up
        t_buttonNamer = nullptr;
    }
    return AnswerFor(message.kind, pressed);
}

}  // namespace tavrin::win
