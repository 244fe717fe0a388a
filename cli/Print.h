// Text to standard output and standard error through stdio.
//
// The streams of <iostream> would cost every run their set-up before main
// begins (the locale and its facets: some 45 000 instructions and a dozen page
// faults, a tenth of a small run); these print the same characters.
#pragma once

#include <concepts>
#include <cstdio>
#include <string>
#include <string_view>

namespace tolvek::cli {

class Print {
  public:
    explicit Print(std::FILE* file) : file_(file) {}

    Print& operator<<(std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), file_);
        return *this;
    }
    Print& operator<<(char c) {
        std::fputc(c, file_);
        return *this;
    }
    template <std::integral Number>
    requires(!std::same_as<Number, char> && !std::same_as<Number, bool>) Print& operator<<(
        Number number) {
        return *this << std::string_view(std::to_string(number));
    }
    void Flush() { std::fflush(file_); }

  private:
    std::FILE* file_;
};

inline Print& Stdout() {
    static Print print(stdout);
    return print;
}

inline Print& Stderr() {
    static Print print(stderr);
    return print;
}

}  // namespace tolvek::cli
