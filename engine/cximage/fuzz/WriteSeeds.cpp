// Writes the test fixtures as fuzz seeds: OUTDIR/<format id>/<name>.
#include <cstdio>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "../tests/Fixtures.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    mkdir(root.c_str(), 0755);
    std::vector<cxfix::NamedFixture> seeds = cxfix::AllFixtures();
    for (cxfix::NamedFixture& f : cxfix::FuzzFindings())
        seeds.push_back(std::move(f));
    for (const cxfix::NamedFixture& f : seeds) {
        const std::string dir = root + "/" + std::to_string(f.formatId);
        mkdir(dir.c_str(), 0755);
        FILE* out = std::fopen((dir + "/" + f.name).c_str(), "wb");
        if (!out || std::fwrite(f.bytes.data(), 1, f.bytes.size(), out) != f.bytes.size())
            return 1;
        std::fclose(out);
    }
    return 0;
}
