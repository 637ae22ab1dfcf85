// vzip: the command-line face of the Veldrin Zip engine, for scripts and terminal users.
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: vzip COMMAND [OPTIONS]\n"
    "\n"
    "Veldrin Zip packs and unpacks zip archives of flight-simulator add-ons.\n"
    "\n"
    "Options:\n"
    "  --help      show this help\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, stdout);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::puts("vzip (Veldrin Zip) 0.1.0");
    return 0;
  }
  std::fprintf(stderr, "vzip: unknown command '%s' (see 'vzip --help')\n", argv[1]);
  return 2;
}
