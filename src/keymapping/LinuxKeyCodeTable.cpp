#include "keymapping/LinuxKeyCodeTable.h"

#include "keymapping/KeyEventRecord.h"
#include "keymapping/WindowsKeyTable.h"

#include <QHash>

namespace {

enum class Side : quint8 { main, right, keypad };

struct PhysicalKey {
    int qtKey;
    Side side;
};

struct ScanRow {
    quint32 scanCode;
    PhysicalKey key;
};

// xkb keycodes of the keys the original keyboard has, named by the Qt key of the US layout.
// clang-format off
constexpr ScanRow kScanRows[] = {
    {9, {Qt::Key_Escape, Side::main}},
    {10, {Qt::Key_1, Side::main}}, {11, {Qt::Key_2, Side::main}}, {12, {Qt::Key_3, Side::main}},
    {13, {Qt::Key_4, Side::main}}, {14, {Qt::Key_5, Side::main}}, {15, {Qt::Key_6, Side::main}},
    {16, {Qt::Key_7, Side::main}}, {17, {Qt::Key_8, Side::main}}, {18, {Qt::Key_9, Side::main}},
    {19, {Qt::Key_0, Side::main}}, {20, {Qt::Key_Minus, Side::main}},
    {21, {Qt::Key_Equal, Side::main}}, {22, {Qt::Key_Backspace, Side::main}},
    {23, {Qt::Key_Tab, Side::main}},
    {24, {Qt::Key_Q, Side::main}}, {25, {Qt::Key_W, Side::main}}, {26, {Qt::Key_E, Side::main}},
    {27, {Qt::Key_R, Side::main}}, {28, {Qt::Key_T, Side::main}}, {29, {Qt::Key_Y, Side::main}},
    {30, {Qt::Key_U, Side::main}}, {31, {Qt::Key_I, Side::main}}, {32, {Qt::Key_O, Side::main}},
    {33, {Qt::Key_P, Side::main}}, {34, {Qt::Key_BracketLeft, Side::main}},
    {35, {Qt::Key_BracketRight, Side::main}}, {36, {Qt::Key_Return, Side::main}},
    {37, {Qt::Key_Control, Side::main}},
    {38, {Qt::Key_A, Side::main}}, {39, {Qt::Key_S, Side::main}}, {40, {Qt::Key_D, Side::main}},
    {41, {Qt::Key_F, Side::main}}, {42, {Qt::Key_G, Side::main}}, {43, {Qt::Key_H, Side::main}},
    {44, {Qt::Key_J, Side::main}}, {45, {Qt::Key_K, Side::main}}, {46, {Qt::Key_L, Side::main}},
    {47, {Qt::Key_Semicolon, Side::main}}, {48, {Qt::Key_Apostrophe, Side::main}},
    {49, {Qt::Key_QuoteLeft, Side::main}}, {50, {Qt::Key_Shift, Side::main}},
    {51, {Qt::Key_Backslash, Side::main}},
    {52, {Qt::Key_Z, Side::main}}, {53, {Qt::Key_X, Side::main}}, {54, {Qt::Key_C, Side::main}},
    {55, {Qt::Key_V, Side::main}}, {56, {Qt::Key_B, Side::main}}, {57, {Qt::Key_N, Side::main}},
    {58, {Qt::Key_M, Side::main}}, {59, {Qt::Key_Comma, Side::main}},
    {60, {Qt::Key_Period, Side::main}}, {61, {Qt::Key_Slash, Side::main}},
    {62, {Qt::Key_Shift, Side::right}}, {63, {Qt::Key_Asterisk, Side::keypad}},
    {64, {Qt::Key_Alt, Side::main}}, {65, {Qt::Key_Space, Side::main}},
    {66, {Qt::Key_CapsLock, Side::main}},
    {67, {Qt::Key_F1, Side::main}}, {68, {Qt::Key_F2, Side::main}}, {69, {Qt::Key_F3, Side::main}},
    {70, {Qt::Key_F4, Side::main}}, {71, {Qt::Key_F5, Side::main}}, {72, {Qt::Key_F6, Side::main}},
    {73, {Qt::Key_F7, Side::main}}, {74, {Qt::Key_F8, Side::main}}, {75, {Qt::Key_F9, Side::main}},
    {76, {Qt::Key_F10, Side::main}}, {77, {Qt::Key_NumLock, Side::keypad}},
    {79, {Qt::Key_7, Side::keypad}}, {80, {Qt::Key_8, Side::keypad}},
    {81, {Qt::Key_9, Side::keypad}}, {82, {Qt::Key_Minus, Side::keypad}},
    {83, {Qt::Key_4, Side::keypad}}, {84, {Qt::Key_5, Side::keypad}},
    {85, {Qt::Key_6, Side::keypad}}, {86, {Qt::Key_Plus, Side::keypad}},
    {87, {Qt::Key_1, Side::keypad}}, {88, {Qt::Key_2, Side::keypad}},
    {89, {Qt::Key_3, Side::keypad}}, {90, {Qt::Key_0, Side::keypad}},
    {91, {Qt::Key_Period, Side::keypad}},
    {95, {Qt::Key_F11, Side::main}}, {96, {Qt::Key_F12, Side::main}},
    {104, {Qt::Key_Enter, Side::keypad}}, {105, {Qt::Key_Control, Side::right}},
    {106, {Qt::Key_Slash, Side::keypad}}, {108, {Qt::Key_Alt, Side::right}},
    {110, {Qt::Key_Home, Side::main}}, {111, {Qt::Key_Up, Side::main}},
    {112, {Qt::Key_PageUp, Side::main}}, {113, {Qt::Key_Left, Side::main}},
    {114, {Qt::Key_Right, Side::main}}, {115, {Qt::Key_End, Side::main}},
    {116, {Qt::Key_Down, Side::main}}, {117, {Qt::Key_PageDown, Side::main}},
    {119, {Qt::Key_Delete, Side::main}}, {125, {Qt::Key_Equal, Side::keypad}},
    {133, {Qt::Key_Meta, Side::main}}, {134, {Qt::Key_Meta, Side::right}},
};

// Keys of the Windows key table other than letters and digits (whose Qt keys equal their
// Windows codes); the original code then comes from that table.
constexpr std::pair<int, int> kWindowsKeyForQtKey[] = {
    {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9}, {Qt::Key_Return, 13}, {Qt::Key_Shift, 16},
    {Qt::Key_Control, 17}, {Qt::Key_Alt, 18}, {Qt::Key_CapsLock, 20}, {Qt::Key_Escape, 27},
    {Qt::Key_Space, 32}, {Qt::Key_Delete, 46}, {Qt::Key_Meta, 91},
    {Qt::Key_PageUp, 33}, {Qt::Key_PageDown, 34}, {Qt::Key_End, 35}, {Qt::Key_Home, 36},
    {Qt::Key_Left, 37}, {Qt::Key_Up, 38}, {Qt::Key_Right, 39}, {Qt::Key_Down, 40},
    {Qt::Key_F1, 112}, {Qt::Key_F2, 113}, {Qt::Key_F3, 114}, {Qt::Key_F4, 115},
    {Qt::Key_F5, 116}, {Qt::Key_F6, 117}, {Qt::Key_F7, 118}, {Qt::Key_F8, 119},
    {Qt::Key_F9, 120}, {Qt::Key_F10, 121}, {Qt::Key_F11, 122}, {Qt::Key_F12, 123},
    {Qt::Key_Semicolon, 186}, {Qt::Key_Equal, 187}, {Qt::Key_Comma, 188}, {Qt::Key_Minus, 189},
    {Qt::Key_Period, 190}, {Qt::Key_Slash, 191}, {Qt::Key_QuoteLeft, 192},
    {Qt::Key_BracketLeft, 219}, {Qt::Key_Backslash, 220}, {Qt::Key_BracketRight, 221},
    {Qt::Key_Apostrophe, 222},
};

// The keypad and the right-hand modifiers have codes of their own, absent from the Windows table.
constexpr std::pair<int, quint16> kKeypadCodes[] = {
    {Qt::Key_0, 82}, {Qt::Key_1, 83}, {Qt::Key_2, 84}, {Qt::Key_3, 85}, {Qt::Key_4, 86},
    {Qt::Key_5, 87}, {Qt::Key_6, 88}, {Qt::Key_7, 89}, {Qt::Key_8, 91}, {Qt::Key_9, 92},
    {Qt::Key_Period, 65}, {Qt::Key_Comma, 65}, {Qt::Key_Asterisk, 67}, {Qt::Key_Plus, 69},
    {Qt::Key_NumLock, 71}, {Qt::Key_Clear, 71}, {Qt::Key_Slash, 75}, {Qt::Key_Enter, 76},
    {Qt::Key_Return, 76}, {Qt::Key_Minus, 78}, {Qt::Key_Equal, 81},
};
constexpr std::pair<int, quint16> kRightModifierCodes[] = {
    {Qt::Key_Meta, 54}, {Qt::Key_Shift, 60}, {Qt::Key_Alt, 61}, {Qt::Key_Control, 62},
};

// With Shift held, xcb reports the shifted symbol; the key is the one under it (US layout).
constexpr std::pair<int, int> kUnshiftedQtKey[] = {
    {Qt::Key_Exclam, Qt::Key_1}, {Qt::Key_At, Qt::Key_2}, {Qt::Key_NumberSign, Qt::Key_3},
    {Qt::Key_Dollar, Qt::Key_4}, {Qt::Key_Percent, Qt::Key_5},
    {Qt::Key_AsciiCircum, Qt::Key_6}, {Qt::Key_Ampersand, Qt::Key_7},
    {Qt::Key_Asterisk, Qt::Key_8}, {Qt::Key_ParenLeft, Qt::Key_9},
    {Qt::Key_ParenRight, Qt::Key_0}, {Qt::Key_Underscore, Qt::Key_Minus},
    {Qt::Key_Plus, Qt::Key_Equal}, {Qt::Key_BraceLeft, Qt::Key_BracketLeft},
    {Qt::Key_BraceRight, Qt::Key_BracketRight}, {Qt::Key_Bar, Qt::Key_Backslash},
    {Qt::Key_Colon, Qt::Key_Semicolon}, {Qt::Key_QuoteDbl, Qt::Key_Apostrophe},
    {Qt::Key_Less, Qt::Key_Comma}, {Qt::Key_Greater, Qt::Key_Period},
    {Qt::Key_Question, Qt::Key_Slash}, {Qt::Key_AsciiTilde, Qt::Key_QuoteLeft},
    {Qt::Key_Backtab, Qt::Key_Tab}, {Qt::Key_Enter, Qt::Key_Return},
};
// clang-format on

struct Tables {
    QHash<quint32, PhysicalKey> byScanCode;
    QHash<int, quint16> mainCodes;
    QHash<int, quint16> keypadCodes;
    QHash<int, quint16> rightModifierCodes;
    QHash<int, int> unshifted;
};

const Tables& tables() {
    static const Tables instance = [] {
        Tables built;
        for (const ScanRow& row : kScanRows) {
            built.byScanCode.insert(row.scanCode, row.key);
        }
        const auto addMain = [&built](int qtKey, int windowsKey) {
            if (const auto code = WindowsKeyTable::windowsKeyName(windowsKey).macKeyCode) {
                built.mainCodes.insert(qtKey, *code);
            }
        };
        for (int key = Qt::Key_0; key <= Qt::Key_9; ++key) {
            addMain(key, key);
        }
        for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key) {
            addMain(key, key);
        }
        for (const auto& [qtKey, windowsKey] : kWindowsKeyForQtKey) {
            addMain(qtKey, windowsKey);
        }
        for (const auto& [qtKey, code] : kKeypadCodes) {
            built.keypadCodes.insert(qtKey, code);
        }
        for (const auto& [qtKey, code] : kRightModifierCodes) {
            built.rightModifierCodes.insert(qtKey, code);
        }
        for (const auto& [shifted, plain] : kUnshiftedQtKey) {
            built.unshifted.insert(shifted, plain);
        }
        return built;
    }();
    return instance;
}

std::optional<quint16> codeOf(const PhysicalKey& key) {
    const Tables& all = tables();
    const QHash<int, quint16>* table = &all.mainCodes;
    if (key.side == Side::keypad) {
        table = &all.keypadCodes;
    } else if (key.side == Side::right) {
        table = &all.rightModifierCodes;
    }
    const auto found = table->constFind(key.qtKey);
    if (found == table->constEnd()) {
        return std::nullopt;
    }
    return *found;
}

PhysicalKey physicalKeyOfQtKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    switch (qtKey) {
        case Qt::Key_Super_L:
            return {Qt::Key_Meta, Side::main};
        case Qt::Key_Super_R:
            return {Qt::Key_Meta, Side::right};
        case Qt::Key_AltGr:
            return {Qt::Key_Alt, Side::right};
        default:
            break;
    }
    // With Num Lock off the keypad reports Home, arrows and the like: those keys' own codes.
    if (modifiers.testFlag(Qt::KeypadModifier) && tables().keypadCodes.contains(qtKey)) {
        return {qtKey, Side::keypad};
    }
    return {tables().unshifted.value(qtKey, qtKey), Side::main};
}

}  // namespace

std::optional<quint16> LinuxKeyCodeTable::knownMacKeyCode(int qtKey, quint32 nativeScanCode,
                                                          Qt::KeyboardModifiers modifiers,
                                                          ScanCodes scanCodes) {
    if (scanCodes == ScanCodes::xkb && nativeScanCode != 0) {
        const auto physical = tables().byScanCode.constFind(nativeScanCode);
        if (physical != tables().byScanCode.constEnd()) {
            return codeOf(*physical);
        }
    }
    return codeOf(physicalKeyOfQtKey(qtKey, modifiers));
}

quint16 LinuxKeyCodeTable::macKeyCode(int qtKey, quint32 nativeScanCode,
                                      Qt::KeyboardModifiers modifiers, ScanCodes scanCodes) {
    if (const auto known = knownMacKeyCode(qtKey, nativeScanCode, modifiers, scanCodes)) {
        return *known;
    }
    if (scanCodes == ScanCodes::xkb && nativeScanCode != 0) {
        return quint16(kFirstUnmappedCode + (nativeScanCode & 0x3fff));
    }
    return quint16(0x8000 | (quint32(qtKey) & 0x7fff));
}

std::optional<quint32> LinuxKeyCodeTable::modifierFlag(quint16 macKeyCode) {
    switch (macKeyCode) {
        case 54:
        case 55:
            return KeyEventRecord::commandFlag;
        case 56:
        case 60:
            return KeyEventRecord::shiftFlag;
        case 57:
            return KeyEventRecord::capsLockFlag;
        case 58:
        case 61:
            return KeyEventRecord::optionFlag;
        case 59:
        case 62:
            return KeyEventRecord::controlFlag;
        default:
            return std::nullopt;
    }
}

quint32 LinuxKeyCodeTable::modifierFlags(Qt::KeyboardModifiers modifiers) {
    quint32 flags = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        flags |= KeyEventRecord::shiftFlag;
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        flags |= KeyEventRecord::controlFlag;
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        flags |= KeyEventRecord::optionFlag;
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        flags |= KeyEventRecord::commandFlag;
    }
    return flags;
}

LinuxKeyCodeTable::ScanCodes LinuxKeyCodeTable::scanCodesOfPlatform(const QString& platformName) {
    return platformName == QLatin1String("xcb") || platformName.startsWith(QLatin1String("wayland"))
               ? ScanCodes::xkb
               : ScanCodes::none;
}
