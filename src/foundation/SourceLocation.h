#pragma once

// Where a log call was written. std::source_location where the standard library offers it;
// clang before 15 with libstdc++ has the header but not the class (it lacks the builtin it
// needs), so there the same interface is built on the older builtins.
#include <source_location>

#if defined(__cpp_lib_source_location)

using SourceLocation = std::source_location;

#else

class SourceLocation {
public:
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            const char* function = __builtin_FUNCTION(),
                                            unsigned line = __builtin_LINE(),
                                            unsigned column = __builtin_COLUMN()) noexcept {
        SourceLocation location;
        location.m_file = file;
        location.m_function = function;
        location.m_line = line;
        location.m_column = column;
        return location;
    }

    constexpr SourceLocation() noexcept = default;
    constexpr const char* file_name() const noexcept { return m_file; }
    constexpr const char* function_name() const noexcept { return m_function; }
    constexpr unsigned line() const noexcept { return m_line; }
    constexpr unsigned column() const noexcept { return m_column; }

private:
    const char* m_file = "";
    const char* m_function = "";
    unsigned m_line = 0;
    unsigned m_column = 0;
};

#endif
