#include "keymapping/WindowsKeyTable.h"

#include <QHash>

namespace {

constexpr int kNoMacKey = -1;

struct Literal {
    int windowsKey;
    const char* name;
    int macKeyCode;
};

// clang-format off
constexpr Literal kRows[] = {
    {1, "鼠标左键", kNoMacKey}, {2, "鼠标右键", kNoMacKey}, {5, "鼠标侧键1", kNoMacKey},
    {6, "鼠标侧键2", kNoMacKey}, {154, "滚轮下", kNoMacKey}, {155, "滚轮上", kNoMacKey},
    {8, "Backspace", 51}, {9, "Tab", 48}, {13, "Enter", 36}, {16, "Shift", 56}, {17, "Ctrl", 59},
    {18, "Alt", 58}, {20, "Caps", 57}, {27, "Esc", 53}, {32, "␣", 49}, {46, "Delete", 117},
    {91, "Cmd", 55},
    {33, "PageUp", 116}, {34, "PageDown", 121}, {35, "End", 119}, {36, "Home", 115},
    {37, "←", 123}, {38, "↑", 126}, {39, "→", 124}, {40, "↓", 125},
    {48, "0", 29}, {49, "1", 18}, {50, "2", 19}, {51, "3", 20}, {52, "4", 21}, {53, "5", 23},
    {54, "6", 22}, {55, "7", 26}, {56, "8", 28}, {57, "9", 25},
    {65, "A", 0}, {66, "B", 11}, {67, "C", 8}, {68, "D", 2}, {69, "E", 14}, {70, "F", 3},
    {71, "G", 5}, {72, "H", 4}, {73, "I", 34}, {74, "J", 38}, {75, "K", 40}, {76, "L", 37},
    {77, "M", 46}, {78, "N", 45}, {79, "O", 31}, {80, "P", 35}, {81, "Q", 12}, {82, "R", 15},
    {83, "S", 1}, {84, "T", 17}, {85, "U", 32}, {86, "V", 9}, {87, "W", 13}, {88, "X", 7},
    {89, "Y", 16}, {90, "Z", 6},
    {112, "F1", 122}, {113, "F2", 120}, {114, "F3", 99}, {115, "F4", 118}, {116, "F5", 96},
    {117, "F6", 97}, {118, "F7", 98}, {119, "F8", 100}, {120, "F9", 101}, {121, "F10", 109},
    {122, "F11", 103}, {123, "F12", 111},
    {186, ";", 41}, {187, "=", 24}, {188, ",", 43}, {189, "-", 27}, {190, ".", 47},
    {191, "/", 44}, {192, "`", 50}, {219, "[", 33}, {220, "\\", 42}, {221, "]", 30},
    {222, "'", 39},
};
// clang-format on

struct Table {
    QList<WindowsKeyTable::Row> rows;
    QHash<int, qsizetype> byWindowsKey;
    QHash<quint16, int> windowsKeyByMacKey;
};

const Table& table() {
    // A function-local static is built once, also when first asked from two threads at once.
    static const Table instance = [] {
        Table built;
        for (const Literal& literal : kRows) {
            std::optional<quint16> macKeyCode;
            if (literal.macKeyCode != kNoMacKey) {
                macKeyCode = static_cast<quint16>(literal.macKeyCode);
                built.windowsKeyByMacKey.insert(*macKeyCode, literal.windowsKey);
            }
            built.byWindowsKey.insert(literal.windowsKey, built.rows.size());
            built.rows.append({literal.windowsKey, QString::fromUtf8(literal.name), macKeyCode});
        }
        return built;
    }();
    return instance;
}

}  // namespace

const QList<WindowsKeyTable::Row>& WindowsKeyTable::rows() {
    return table().rows;
}

WindowsKeyName WindowsKeyTable::windowsKeyName(int windowsKey) {
    const Table& keys = table();
    const auto found = keys.byWindowsKey.constFind(windowsKey);
    if (found != keys.byWindowsKey.constEnd()) {
        const Row& row = keys.rows.at(*found);
        return {row.name, row.macKeyCode};
    }
    if ((windowsKey >= 'A' && windowsKey <= 'Z') || (windowsKey >= '0' && windowsKey <= '9')) {
        return {QString(QChar(windowsKey)), std::nullopt};
    }
    return {QStringLiteral("VK") + QString::number(windowsKey), std::nullopt};
}

QString WindowsKeyTable::windowsKeyDisplayName(int windowsKey) {
    const QString name = windowsKeyName(windowsKey).name.trimmed();
    return name.isEmpty() ? QStringLiteral("VK") + QString::number(windowsKey) : name;
}

std::optional<int> WindowsKeyTable::windowsKeyForMacKeyCode(quint16 macKeyCode) {
    const Table& keys = table();
    const auto found = keys.windowsKeyByMacKey.constFind(macKeyCode);
    if (found == keys.windowsKeyByMacKey.constEnd()) {
        return std::nullopt;
    }
    return *found;
}
