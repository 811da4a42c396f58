#include "devicewindow/DeviceTextInput.h"

#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
#include "foundation/logging/LogRedaction.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

int characterCount(const QString& text) {
    int count = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() > 0) {
        ++count;
    }
    return count;
}

// Typed text stays out of logs and console: the log file is uploaded to the service.
QString quoted(const QString& text) {
    return QLatin1Char('\'') + LogRedaction::textLength(text) + QLatin1Char('\'');
}

bool isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
            return true;
        default:
            return false;
    }
}

void print(const QString& line) {
    ConsoleFormat::print(line);
}

}  // namespace

DeviceTextInput::DeviceTextInput(QString& inputBuffer, QString& markedText,
                                 DeviceTextInputHooks hooks, QWidget* parent)
    : QWidget(parent),
      m_inputBuffer(inputBuffer),
      m_markedText(markedText),
      m_hooks(std::move(hooks)),
      m_keyRepeats([this](QKeyEvent& event) {
          if (event.type() == QEvent::KeyPress) {
              keyPressEvent(&event);
          } else {
              keyReleaseEvent(&event);
          }
      }) {
    setObjectName(QStringLiteral("deviceTextInput"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 1, 1);
}

bool DeviceTextInput::acceptsInput() const {
    return !m_hooks.acceptsInput || m_hooks.acceptsInput();
}

QString DeviceTextInput::deviceID() const {
    return m_hooks.deviceID ? m_hooks.deviceID() : QString();
}

int DeviceTextInput::selectedLocation() const {
    return characterCount(m_inputBuffer);
}

std::optional<int> DeviceTextInput::markedLocation() const {
    return m_markedText.isEmpty() ? std::nullopt : std::optional<int>(selectedLocation());
}

QRect DeviceTextInput::firstRect() const {
    const QRect frame = window()->frameGeometry();
    return {frame.left() + frame.width() / 2, frame.bottom() - kCandidateWindowLift, 1, 20};
}

// Text ---------------------------------------------------------------------------------------

void DeviceTextInput::insertText(const QString& text) {
    if (!acceptsInput()) {
        return;
    }
    m_inputBuffer += text;
    m_markedText.clear();
    print(QStringLiteral("✅ insertText: ") + quoted(text) + QStringLiteral(" | 总内容: ") +
          quoted(m_inputBuffer));
    if (m_hooks.sendText) {
        m_hooks.sendText(text);
    }
}

void DeviceTextInput::setMarkedText(const QString& text) {
    if (!acceptsInput()) {
        return;
    }
    m_markedText = text;
    print(QStringLiteral("📝 setMarkedText: ") + quoted(m_markedText));
}

void DeviceTextInput::sendKeyboardKey(DeviceTouchName key) {
    if (acceptsInput() && m_hooks.sendKey) {
        m_hooks.sendKey(key);
    }
}

void DeviceTextInput::deleteBackward() {
    if (!acceptsInput()) {
        return;
    }
    KXLog(QStringLiteral("🔙 [删除键] Backspace/Delete"), LogTag::window, LogLevel::info);
    if (!m_inputBuffer.isEmpty()) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_inputBuffer);
        finder.toEnd();
        m_inputBuffer.truncate(finder.toPreviousBoundary());
    }
    KXLog(QStringLiteral("   当前内容: ") + quoted(m_inputBuffer), LogTag::video, LogLevel::info);
    sendKeyboardKey(DeviceTouchName::keyboardBackSpace);
}

void DeviceTextInput::deleteForward() {
    sendKeyboardKey(DeviceTouchName::keyboardDelete);
}

void DeviceTextInput::insertNewline() {
    if (!acceptsInput()) {
        return;
    }
    KXLog(QStringLiteral("⏎ 回车键 - 内容: ") + quoted(m_inputBuffer), LogTag::video,
          LogLevel::info);
    m_inputBuffer.clear();
    sendKeyboardKey(DeviceTouchName::keyboardEnter);
}

void DeviceTextInput::cancelOperation() {
    if (!acceptsInput()) {
        return;
    }
    m_inputBuffer.clear();
    m_markedText.clear();
    KXLog(QStringLiteral("⎋ ESC键"), LogTag::video, LogLevel::info);
}

void DeviceTextInput::moveUp() {
    if (acceptsInput()) {
        KXLog(QStringLiteral("⬆️ 上箭头"), LogTag::video, LogLevel::info);
        sendKeyboardKey(DeviceTouchName::keyboardUp);
    }
}

void DeviceTextInput::moveDown() {
    if (acceptsInput()) {
        KXLog(QStringLiteral("⬇️ 下箭头"), LogTag::video, LogLevel::info);
        sendKeyboardKey(DeviceTouchName::keyboardDown);
    }
}

void DeviceTextInput::moveLeft() {
    sendKeyboardKey(DeviceTouchName::keyboardLeft);
}

void DeviceTextInput::moveRight() {
    sendKeyboardKey(DeviceTouchName::keyboardRight);
}

// Shortcuts ----------------------------------------------------------------------------------

bool DeviceTextInput::handleCommandShortcut(int qtKey) {
    switch (qtKey) {
        case Qt::Key_C:
            print(QStringLiteral("📋 复制操作 - Command+C"));
            return true;
        case Qt::Key_V:
            print(QStringLiteral("📋 粘贴操作 - Command+V"));
            pasteClipboardToDevice();
            return true;
        case Qt::Key_X:
            print(QStringLiteral("✂️ 剪切操作 - Command+X"));
            cutInputBuffer();
            return true;
        case Qt::Key_A:
            print(QStringLiteral("🔘 全选操作 - Command+A"));
            return true;
        default:
            return false;
    }
}

void DeviceTextInput::pasteClipboardToDevice() {
    if (!acceptsInput()) {
        return;
    }
    const std::optional<QString> text =
        m_hooks.clipboardText ? m_hooks.clipboardText() : std::nullopt;
    if (!text || text->isEmpty()) {
        print(QStringLiteral("   ⚠️ 剪贴板为空"));
        return;
    }
    print(QStringLiteral("   📋 从剪贴板读取: ") + quoted(*text));
    m_inputBuffer += *text;
    if (m_hooks.copyTextToPasteboard) {
        m_hooks.copyTextToPasteboard(*text);
    }
    if (m_hooks.sendText) {
        m_hooks.sendText(*text);
    }
    print(QStringLiteral("   ✅ 已粘贴并发送到设备"));
}

void DeviceTextInput::cutInputBuffer() {
    if (!m_inputBuffer.isEmpty()) {
        m_inputBuffer.clear();
        print(QStringLiteral("   ✅ 已剪切并清空缓冲区"));
    }
}

// Events -------------------------------------------------------------------------------------

void DeviceTextInput::refreshInputMethodState() {
    const bool allowed = !m_hooks.allowsInputMethod || m_hooks.allowsInputMethod();
    if (testAttribute(Qt::WA_InputMethodEnabled) == allowed) {
        return;
    }
    setAttribute(Qt::WA_InputMethodEnabled, allowed);
    if (hasFocus()) {
        QGuiApplication::inputMethod()->update(Qt::ImEnabled);
    }
}

bool DeviceTextInput::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // A pending capture takes shortcut combinations too; the key press that follows
        // carries them to it.
        const bool imeActive = m_hooks.isIMEInputActive && m_hooks.isIMEInputActive();
        if (!imeActive && m_hooks.isKeyCapturePending && m_hooks.isKeyCapturePending()) {
            event->accept();
            return true;
        }
        return QWidget::event(event);
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        // Every consumer reads a held key as one press. Tab is the device's, not the focus
        // chain's, so no key takes QWidget's way.
        m_keyRepeats.take(*static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

void DeviceTextInput::leaveKeysDownWithOldDevice() {
    m_keysOfOldDevice.unite(m_keyRepeats.keysDown());
    // The switch takes the focus away and gives it back at once: the keys stay down through it.
    m_isSwitchingDevice = hasFocus();
}

// A key down at the switch can be pressed anew only once it was let go, and its release comes
// here while the focus stays: until then each of its presses is a repeat, however marked.
bool DeviceTextInput::belongsToOldDevice(const QKeyEvent& event) {
    const qint64 key = KeyRepeatFilter::keyIdentity(event);
    if (event.type() == QEvent::KeyRelease) {
        return m_keysOfOldDevice.remove(key);
    }
    return m_keysOfOldDevice.contains(key);
}

void DeviceTextInput::keyPressEvent(QKeyEvent* event) {
    if (belongsToOldDevice(*event)) {
        event->accept();
        return;
    }
    if (!acceptsInput()) {
        event->ignore();
        return;
    }
    const bool mapped = m_hooks.keyMappingKeyDown && m_hooks.keyMappingKeyDown(*event);
    refreshInputMethodState();
    if (mapped) {
        event->accept();
        return;
    }
    if (isModifierKey(event->key())) {
        event->ignore();
        return;
    }
    event->accept();
    if (event->modifiers().testFlag(Qt::ControlModifier) && handleCommandShortcut(event->key())) {
        return;
    }
    // The code of a key that types text would spell that text out.
    KXLog(QStringLiteral("⌨️ keyDown 被调用 - keyCode: ") +
              (LogRedaction::isTypedText(event->text()) ? LogRedaction::mask()
                                                        : QString::number(event->key())),
          LogTag::window, LogLevel::info);
    KXLog(QStringLiteral("   -> 已传递给 inputContext"), LogTag::window, LogLevel::info);
    interpretKeyEvent(*event);
}

void DeviceTextInput::interpretKeyEvent(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Backspace:
            deleteBackward();
            return;
        case Qt::Key_Delete:
            deleteForward();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            insertNewline();
            return;
        case Qt::Key_Escape:
            cancelOperation();
            return;
        case Qt::Key_Up:
            moveUp();
            return;
        case Qt::Key_Down:
            moveDown();
            return;
        case Qt::Key_Left:
            moveLeft();
            return;
        case Qt::Key_Right:
            moveRight();
            return;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return;
        default:
            break;
    }
    const QString text = event.text();
    if (LogRedaction::isTypedText(text)) {
        insertText(text);
    }
}

void DeviceTextInput::keyReleaseEvent(QKeyEvent* event) {
    if (belongsToOldDevice(*event)) {
        event->accept();
        return;
    }
    const bool mapped =
        acceptsInput() && m_hooks.keyMappingKeyUp && m_hooks.keyMappingKeyUp(*event);
    refreshInputMethodState();
    if (mapped) {
        event->accept();
    } else {
        event->ignore();
    }
}

void DeviceTextInput::inputMethodEvent(QInputMethodEvent* event) {
    event->accept();
    if (!acceptsInput()) {
        return;
    }
    QString commit = event->commitString();
    commit.removeIf([](QChar character) { return character.category() == QChar::Other_Control; });
    if (!commit.isEmpty()) {
        insertText(commit);
        if (!event->preeditString().isEmpty()) {
            setMarkedText(event->preeditString());
        }
        return;
    }
    if (event->preeditString() != m_markedText) {
        setMarkedText(event->preeditString());
    }
}

QVariant DeviceTextInput::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImEnabled:
            return testAttribute(Qt::WA_InputMethodEnabled);
        case Qt::ImCursorRectangle: {
            const QRect rect = firstRect();
            KXLog(QStringLiteral("🔲 firstRect: ") + ConsoleFormat::rect(rect), LogTag::window,
                  LogLevel::info);
            return QRect(mapFromGlobal(rect.topLeft()), rect.size());
        }
        case Qt::ImCursorPosition:
        case Qt::ImAnchorPosition:
            return selectedLocation();
        case Qt::ImSurroundingText:
        case Qt::ImCurrentSelection:
        case Qt::ImTextBeforeCursor:
        case Qt::ImTextAfterCursor:
            return QString();
        default:
            return QWidget::inputMethodQuery(query);
    }
}

void DeviceTextInput::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    m_isSwitchingDevice = false;
    const QString prefix = QStringLiteral("🟢Responder");
    print(prefix + QStringLiteral(" 设备 ") + deviceID() +
          QStringLiteral(" - becomeFirstResponder"));
    print(prefix + QStringLiteral("   -> super 返回: true"));
    if (m_hasInputContext) {
        QGuiApplication::inputMethod()->reset();
        m_markedText.clear();
        print(prefix + QStringLiteral("   -> 销毁旧的 inputContext"));
    }
    m_hasInputContext = true;
    print(prefix + QStringLiteral("   -> 创建新的 inputContext"));
    refreshInputMethodState();
    print(prefix + QStringLiteral("   -> ✅ 激活 inputContext"));
}

void DeviceTextInput::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    // Their releases may go elsewhere now: keys held when the focus comes back are pressed anew.
    if (!m_isSwitchingDevice) {
        m_keyRepeats.forgetKeys();
        m_keysOfOldDevice.clear();
    }
    KXLog(QStringLiteral("🟢Responder 设备 ") + deviceID() +
              QStringLiteral(" - resignFirstResponder"),
          LogTag::window, LogLevel::info);
    KXLog(QStringLiteral("🟢Responder   -> super 返回: true"), LogTag::window, LogLevel::info);
    if (m_hooks.didResignFocus) {
        m_hooks.didResignFocus();
    }
    m_hasInputContext = false;
    KXLog(QStringLiteral("🟢Responder   -> ❌ 停用 inputContext（但不销毁）"),
          LogTag::window, LogLevel::info);
}
