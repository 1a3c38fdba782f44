// wavorix-register: registers the audio control library (or takes it out of the registry store)
// by calling its own DllRegisterServer / DllUnregisterServer, as regsvr32 does.
//
//   wavorix-register [--unregister] [path/to/libwavorix.so]
//
// Without a path the library beside this program is taken.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/component.h"
#include "platform/storage/settings.h"

namespace {

std::string besideMe() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "libwavorix.so";
    return (self.parent_path() / "libwavorix.so").string();
}

int usage() {
    std::fprintf(stderr, "usage: wavorix-register [--unregister] [path/to/libwavorix.so]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--unregister" || a == "-u")
            unregister = true;
        else if (a == "--help" || a == "-h")
            return usage(), 0;
        else if (!a.empty() && a[0] == '-')
            return usage();
        else if (path.empty())
            path = a;
        else
            return usage();
    }
    if (path.empty()) path = besideMe();
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    if (!ec) path = absolute.string();

    const platform::com::HRESULT hr = platform::com::callRegistrationEntry(path, unregister);
    if (hr != platform::com::S_OK) {
        const std::string why = platform::com::lastCreateError();
        std::fprintf(stderr, "wavorix-register: %s of %s failed (0x%08X)%s%s\n", unregister ? "unregistering" : "registering",
                     path.c_str(), static_cast<unsigned>(hr), why.empty() ? "" : ": ", why.c_str());
        return 1;
    }
    std::printf("%s %s in %s\n", unregister ? "Unregistered" : "Registered", path.c_str(),
                platform::registryFilePath().c_str());
    return 0;
}
