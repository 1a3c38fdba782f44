// The movie player hosted on a window under the name the program gives it (ShockwaveFlash1):
// the members the program calls (LoadMovie, Play, Stop, Zoom, Movie, TotalFrames, CurrentFrame,
// BackgroundColor) and the hosting properties (Visible, Width, Height). It paints itself: the
// view asks it for a frame at the display's rate.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "forms/controls/hosted.h"
#include "player/movie_player.h"

namespace korvella {

class FlashPlayerControl final : public forms::HostedControl {
public:
    FlashPlayerControl(forms::Form* form, std::string name, forms::Control* container = nullptr);
    ~FlashPlayerControl() override;

    void LoadMovie(std::int32_t layer, const std::string& path) { player_.LoadMovie(layer, path); }
    void Play() { player_.Play(); }
    void Stop() { player_.Stop(); }
    void Zoom(std::int32_t factor) { player_.Zoom(factor); }
    std::string Movie() const { return player_.Movie(); }
    std::int32_t TotalFrames() { return player_.TotalFrames(); }
    std::int32_t CurrentFrame() { return player_.CurrentFrame(); }
    std::int32_t BackgroundColor() const { return player_.BackgroundColor(); }
    void setBackgroundColor(std::int32_t colour) { player_.setBackgroundColor(colour); }

    // Hiding the control lets the window's background show.
    bool Visible() const { return player_.Visible(); }
    void setVisible(bool visible);
    void Move(double left, double top, double width, double height) override;

    // Settings stored with the window; the player shows the whole stage whatever they say.
    std::string WMode = "Window";
    std::string Quality = "AutoHigh";
    std::string Scale = "ShowAll";

    bool paints() const override { return true; }
    void paint(platform::Bitmap& target, int widthPx, int heightPx) override;
    // Only when the player's picture changed since the last paint (a frame moved on, or a
    // layer, zoom, colour or visibility call).
    bool needsRepaint(std::int64_t nowNs) override;
    bool changedSpans(std::vector<Span>& out) const override;

    player::MoviePlayer& player() { return player_; }

    // Sees every call the program makes on any hosted player, as the player's short line
    // ("LoadMovie 0 path", "Play", "Visible 0" ...). One observer for the whole program.
    using CallObserver = std::function<void(const FlashPlayerControl& control, const std::string& call)>;
    static void setCallObserver(CallObserver observer);

private:
    player::MoviePlayer player_;
    bool painted_ = false;
    std::uint64_t paintedSerial_ = 0;
};

}  // namespace korvella
