// A minimal test harness for core behaviour that Python cannot reach.
#pragma once

#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace zyk_test {

struct Case {
    const char* name;
    void (*run)();
};

inline std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

inline int& failures() {
    static int count = 0;
    return count;
}

struct Registrar {
    Registrar(const char* name, void (*run)()) { cases().push_back({name, run}); }
};

inline void report(const char* file, int line, const std::string& what) {
    ++failures();
    std::cerr << file << ":" << line << ": " << what << "\n";
}

template <class A, class B>
void expect_eq(const A& a, const B& b, const char* ea, const char* eb, const char* file, int line) {
    if (!(a == b)) {
        std::ostringstream s;
        s << "expected " << ea << " == " << eb;
        if constexpr (requires(std::ostream& o) { o << a; o << b; }) s << "\n    left:  " << a << "\n    right: " << b;
        report(file, line, s.str());
    }
}

}  // namespace zyk_test

#define ZYK_TEST(name)                                                      \
    static void name();                                                     \
    static const ::zyk_test::Registrar name##_registrar(#name, &name);      \
    static void name()

#define EXPECT(cond) \
    do { if (!(cond)) ::zyk_test::report(__FILE__, __LINE__, "expected " #cond); } while (0)

#define EXPECT_EQ(a, b) ::zyk_test::expect_eq((a), (b), #a, #b, __FILE__, __LINE__)
