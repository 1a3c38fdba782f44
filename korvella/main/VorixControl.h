// The audio control Vorix as the main window holds it: created by its registered class identity
// through the component layer and driven only by dispatch identifiers, the way a host binds late
// to a control it knows from its type library. Only the Complete event is taken.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/application.h"
#include "platform/component.h"

namespace forms {
class Form;
}

namespace korvella {

namespace vorix {

using platform::com::DispId;

inline constexpr const char* kProgId = "prjVorix.Vorix";

// Members of _Vorix the program uses.
inline constexpr DispId SPS = 0x6803001F;
inline constexpr DispId Samples = 0x6803001C;
inline constexpr DispId Start = 0x60030026;
inline constexpr DispId Init = 0x60030037;
inline constexpr DispId Reset = 0x60030039;
inline constexpr DispId LoopMethod = 0x6803001A;
inline constexpr DispId Threshold = 0x68030019;
inline constexpr DispId Analysis = 0x68030017;
inline constexpr DispId WaveData = 0x68030015;
inline constexpr DispId Spectrum = 0x68030014;
inline constexpr DispId Status = 0x68030012;
inline constexpr DispId Recording = 0x6803000F;
inline constexpr DispId DeviceHandle = 0x6803000D;
inline constexpr DispId Buffers = 0x6803000B;
inline constexpr DispId Device = 0x6803000A;
inline constexpr DispId MissedCount = 0x68030006;

// Events of __Vorix.
inline constexpr DispId evComplete = 3;

// AnalysisType
inline constexpr std::int32_t FFT = 3;

}  // namespace vorix

class VorixControl final : public platform::com::EventSink, private forms::FormsObserver {
public:
    // Places the control on the host window with the values saved with that window
    // (Threshold 3.0). When the control cannot be made (not registered, library missing), the
    // window still loads; every member call then raises the creation error.
    VorixControl(forms::Form* host, std::string name);
    ~VorixControl() override;
    VorixControl(const VorixControl&) = delete;
    VorixControl& operator=(const VorixControl&) = delete;

    bool created() const { return object_ != nullptr; }
    const std::string& name() const { return name_; }

    platform::com::Variant get(platform::com::DispId id, std::vector<platform::com::Variant> args = {});
    void let(platform::com::DispId id, platform::com::Variant value);
    platform::com::Variant call(platform::com::DispId id, std::vector<platform::com::Variant> args = {});

    // Vorix1_Complete(BlockIndex, BufferIndex, dt)
    std::function<void(std::int32_t blockIndex, std::int32_t bufferIndex, double dt)> onComplete;

    // The container's side: user mode, and the names of the properties the control reported
    // as changed, in order.
    platform::com::SimpleSite site{true};

    platform::com::ControlObject* object() { return object_.get(); }

    void event(platform::com::DispId id, std::vector<platform::com::Variant>& args) override;

private:
    [[noreturn]] void raiseNotCreated() const;
    // The control ends with its host window's unload (its timers stopped first), as a control
    // terminates when the form that holds it unloads. Its end pumps events, so it must not wait
    // for the window object itself to be freed by the runtime's idle clean-up.
    void formUnloaded(forms::Form& form) override;
    bool followsControls() const override { return false; }
    void release();

    forms::Form* host_;

    std::string name_;
    platform::com::MemoryPropertyBag saved_;
    std::unique_ptr<platform::com::ControlObject> object_;
    int createError_ = 0;
    std::string createDescription_;
};

}  // namespace korvella
