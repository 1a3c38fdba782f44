#include "wavorix/state.h"

#include "forms/application.h"
#include "forms/controls/label.h"
#include "platform/error.h"
#include "wavorix/xtimer.h"

namespace wavorix {

void CaptureBuffer::redim(std::int32_t r, std::int32_t c) {
    if (r < 1 || c < 1) platform::raise(9);
    data.assign(static_cast<std::size_t>(r) * static_cast<std::size_t>(c), 0);
    rows = r;
    cols = c;
}

void CaptureBuffer::shrink() {
    data.assign(2, 0);
    rows = 2;
    cols = 0;
}

std::int16_t* CaptureBuffer::column(std::int64_t i) {
    if (cols == 0 || i < 1 || i > cols) platform::raise(9);
    return data.data() + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(rows);
}

std::int32_t CaptureBuffer::upperRow() const {
    if (data.empty()) platform::raise(9);
    return (cols == 0 ? static_cast<std::int32_t>(data.size()) : rows) - 1;
}

EngineState::EngineState() = default;
EngineState::~EngineState() {
    if (file) std::fclose(file);
}

namespace {
thread_local std::unique_ptr<EngineState> t_engine;
}

EngineState& engine() {
    if (!t_engine) t_engine = std::make_unique<EngineState>();
    return *t_engine;
}

void resetEngineState() { t_engine.reset(); }

forms::Label& lamp(EngineState& st) {
    if (!st.lamp) platform::raise(91);
    return *st.lamp;
}

void setLamp(EngineState& st, std::uint32_t colour) {
    forms::Label& l = lamp(st);
    l.setBackColor(colour);
    l.notify(forms::Prop::Colors);  // Refresh: repaint at once
}

void blinkLamp(EngineState& st, std::int32_t& phase, std::uint32_t dim, std::uint32_t bright) {
    phase = phase == 1 ? 0 : 1;
    if (st.lamp) setLamp(st, phase == 0 ? dim : bright);
}

void pumpEvents() {
    if (platform::EventLoop::currentOrNull()) forms::DoEvents();
}

}  // namespace wavorix
