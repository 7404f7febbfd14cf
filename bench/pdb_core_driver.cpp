// Times the core PDB reader and writer without Python: best wall time of several runs.
// Usage: pdb_core_driver FILE [REPEAT] [read]; prints one JSON object ("read": reading only).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "convert/pdb/reader.hpp"
#include "convert/pdb/writer.hpp"
#include "perceive.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [REPEAT]\n", argv[0]);
        return 2;
    }
    const int repeat = argc > 2 ? std::atoi(argv[2]) : 5;
    const bool read_only = argc > 3 && std::string(argv[3]) == "read";
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();

    using clock = std::chrono::steady_clock;
    auto seconds = [](clock::duration d) { return std::chrono::duration<double>(d).count(); };
    double read = 1e30, perceive = 1e30, write = 1e30;
    std::size_t models = 0, atoms = 0, written = 0;
    for (int i = 0; i < repeat; ++i) {
        const auto t0 = clock::now();
        auto result = zyk::pdb::from_pdb_with_options(text, true);
        const auto t1 = clock::now();
        if (!result) {
            std::fprintf(stderr, "%s\n", zyk::pdb::message(result.error()).c_str());
            return 1;
        }
        if (!read_only) {
            for (zyk::TRC& trc : *result) (void)zyk::perceive_bonds(trc, zyk::AtomCheckStrictness::Heavy);
        }
        const auto t2 = clock::now();
        written = 0;
        if (!read_only) {
            for (const zyk::TRC& trc : *result) written += zyk::pdb::to_pdb(trc)->size();
        }
        const auto t3 = clock::now();
        read = std::min(read, seconds(t1 - t0));
        perceive = std::min(perceive, seconds(t2 - t1));
        write = std::min(write, seconds(t3 - t2));
        models = result->size();
        atoms = 0;
        for (const zyk::TRC& trc : *result) atoms += trc.topology.symbols.size();
    }
    std::printf("{\"bytes\": %zu, \"models\": %zu, \"atoms\": %zu, \"read_s\": %.6f, \"perceive_s\": %.6f, "
                "\"write_s\": %.6f, \"written_bytes\": %zu}\n",
                text.size(), models, atoms, read, perceive, write, written);
    return 0;
}
