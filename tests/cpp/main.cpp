#include "harness.hpp"

int main() {
    for (const auto& c : zyk_test::cases()) {
        const int before = zyk_test::failures();
        c.run();
        std::cout << (zyk_test::failures() == before ? "ok   " : "FAIL ") << c.name << "\n";
    }
    std::cout << zyk_test::cases().size() << " cases, " << zyk_test::failures() << " failed checks\n";
    return zyk_test::failures() == 0 ? 0 : 1;
}
