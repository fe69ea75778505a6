// Prints the Linux provider's objects of one class as Name=Value lines, one
// blank line after each object; null values are left out. The end-to-end
// tests compare them with the system's own tools.
#include <cstdio>
#include <cstdlib>

#include "wmi/linux/provider.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: provider_dump <Class>\n");
        return 2;
    }
    const char* root = std::getenv(harvix::linuxwmi::kRootVariable);
    harvix::linuxwmi::Provider provider(root && *root ? root : "/");
    try {
        for (const auto& inst : provider.Instances(argv[1])) {
            for (const auto& [name, value] : inst.Properties)
                if (!value.IsNull())
                    std::printf("%s=%s\n", name.c_str(), harvix::ToText(value).c_str());
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
