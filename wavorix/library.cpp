// The four entry points of the in-process control library and its class object.
#include <cstring>

#include "platform/component.h"
#include "platform/error.h"
#include "wavorix/trail.h"
#include "wavorix/vorix.h"

namespace wavorix {
namespace {

class VorixFactory final : public platform::com::ClassFactory {
public:
    std::unique_ptr<platform::com::ControlObject> createInstance(const platform::com::CreateParams& params) override {
        if (!params.hostForm) platform::raise(424, {}, kSource);
        return std::make_unique<Vorix>(params);
    }
    void lockServer(bool lock) override { moduleUsage().lock(lock); }
};

VorixFactory& factory() {
    static VorixFactory f;
    return f;
}

std::string ownPath() { return platform::com::modulePathOf(reinterpret_cast<const void*>(&factory)); }

}  // namespace
}  // namespace wavorix

using namespace platform::com;

extern "C" {

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    const std::string path = wavorix::ownPath();
    if (path.empty()) return SELFREG_E_CLASS;
    return registerClass(wavorix::kProgId, path);
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() { return unregisterClass(wavorix::kProgId); }

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const char* classId, ClassFactory** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!classId || std::strcmp(classId, wavorix::kProgId) != 0) return CLASS_E_CLASSNOTAVAILABLE;
    *out = &wavorix::factory();
    return S_OK;
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return wavorix::moduleUsage().canUnload() ? S_OK : S_FALSE;
}

}  // extern "C"
