// What a fuzz run does with one input, shared with the tests that replay the corpora: the
// settings store's file text, the idle list and the playlist read as the program reads them,
// and a sound file played for a while as the input device. Each checks what must hold for any
// input and aborts when it does not.
#pragma once
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "korvella/playlist/PlaylistFile.h"
#include "platform/error.h"
#include "platform/loop/eventloop.h"
#include "platform/storage/files.h"
#include "platform/storage/inifile.h"
#include "platform/audio/wave.h"
#include "platform/audio/wave_file.h"

namespace korvella_fuzz {

// For a fuzz run: the cache, the settings and the program folder in a temporary folder of this
// process, removed at its end, so that a run neither reads nor fills the user's.
inline void useOwnFolders() {
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "korvella-fuzz-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        return std::filesystem::path(tmpl);
    }();
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("KORVELLA_HOME", (dir / "home").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    });
}

inline void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

// A file of this process holding the input (the readers take paths).
class InputFile {
public:
    InputFile(const std::uint8_t* data, std::size_t size, const char* extension) {
        path_ = (std::filesystem::temp_directory_path() /
                 ("korvella-fuzz-" + std::to_string(::getpid()) + extension))
                    .string();
        std::ofstream(path_, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                        static_cast<std::streamsize>(size));
    }
    ~InputFile() { std::remove(path_.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The store's text: what is read is written back so that it reads the same, and a value set is
// found under its name in any case.
inline void exerciseIniFile(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::IniFile ini = platform::IniFile::parse(text);
    const std::string written = ini.text();
    const platform::IniFile again = platform::IniFile::parse(written);
    require(again.text() == written, "a written store reads back as written");
    require(again.sections.size() == ini.sections.size(), "every section survives");
    for (std::size_t i = 0; i < ini.sections.size(); ++i) {
        require(again.sections[i].name == ini.sections[i].name, "section names survive byte for byte");
        require(again.sections[i].entries.size() == ini.sections[i].entries.size(), "every value survives");
        for (std::size_t j = 0; j < ini.sections[i].entries.size(); ++j) {
            require(again.sections[i].entries[j].name == ini.sections[i].entries[j].name, "names survive");
            require(again.sections[i].entries[j].text == ini.sections[i].entries[j].text, "texts survive");
        }
    }
    // The input's first line as a section, its second as a name, its third as a value.
    std::vector<std::string> parts(3);
    std::size_t part = 0;
    for (char c : text) {
        if (c == '\n' && part < 2)
            ++part;
        else
            parts[part] += c;
    }
    ini.set(parts[0], parts[1], parts[2]);
    const auto found = platform::IniFile::parse(ini.text()).get(parts[0], parts[1]);
    require(found && *found == parts[2], "a value set is read back under its name");
}

// Lines of an 8-bit text file, as the idle list and the playlist are read (with their cap).
inline std::vector<std::string> readLines(const std::uint8_t* data, std::size_t size) {
    InputFile file(data, size, ".txt");
    try {
        return platform::readTextLines(file.path(), 16u << 20);
    } catch (const platform::VbError&) {
        require(false, "a readable file reads");
    }
    return {};
}

// The idle list: a saved list reloads with identical rows.
inline void exerciseIdleList(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> rows = readLines(data, size);
    InputFile saved(nullptr, 0, ".lrlst");
    platform::writeTextLines(saved.path(), rows);
    require(platform::readTextLines(saved.path()) == rows, "a saved idle list reloads with identical rows");
}

// The playlist: a saved playlist loads into as many rows, and a DMXControl row keeps its index.
inline void exercisePlaylist(const std::uint8_t* data, std::size_t size) {
    const std::string folder = "/home/show/korvella";
    const auto rows = korvella::playlist::playlistRows(readLines(data, size), folder);
    InputFile saved(nullptr, 0, ".bpl");
    platform::writeTextLines(saved.path(), korvella::playlist::playlistLines(rows, folder));
    const auto loaded = korvella::playlist::playlistRows(platform::readTextLines(saved.path()), folder);
    require(loaded.size() == rows.size(), "saving and loading keeps every row");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [text, value] = rows[i];
        if (text.find("DMXC") != std::string::npos && korvella::playlist::isDigits(value))
            require(loaded[i] == rows[i], "a DMXControl row keeps its text and index");
    }
}

// A sound file as input device 0: checked, then opened at a rate and channel count taken from
// the input, captured for 100 ms of virtual time, reset and closed.
inline void exerciseSoundFile(const std::uint8_t* data, std::size_t size) {
    InputFile file(data, size, ".snd");
    platform::EventLoop loop(std::make_unique<platform::VirtualClock>());
    platform::EventLoop* previous = platform::EventLoop::currentOrNull();
    platform::EventLoop::setCurrent(&loop);
    platform::setSystemWaveDevices(false);
    platform::resetWaveDevices();
    auto device = std::make_shared<platform::SoundFileWaveIn>(file.path(), size % 2 == 1);
    std::string why;
    const platform::MMRESULT checked = device->check(why);
    require(checked == platform::MMSYSERR_NOERROR || why.find(file.path()) != std::string::npos,
            "a refused file is named in the reason");
    platform::addWaveInDevice(device);
    static constexpr std::uint32_t kRates[] = {8000, 22050, 44100, 48000, 50000, 96000};
    const std::uint32_t rate = kRates[size % 6];
    const std::uint16_t channels = size % 3 == 0 ? 2 : 1;
    const platform::WAVEFORMATEX format = platform::makePcmFormat(rate, channels);
    platform::HWAVEIN h = 0;
    const platform::MMRESULT opened = platform::waveInOpen(&h, 0, &format, 0, 0, platform::CALLBACK_NULL);
    require((opened == platform::MMSYSERR_NOERROR) == (checked == platform::MMSYSERR_NOERROR), "open agrees with check");
    if (opened == platform::MMSYSERR_NOERROR) {
        std::vector<std::vector<std::int16_t>> buffers(3, std::vector<std::int16_t>(512u * channels));
        std::vector<platform::WAVEHDR> headers(3);
        for (std::size_t i = 0; i < 3; ++i) {
            headers[i].lpData = reinterpret_cast<char*>(buffers[i].data());
            headers[i].dwBufferLength = static_cast<std::uint32_t>(buffers[i].size() * 2);
            platform::waveInPrepareHeader(h, &headers[i], sizeof(platform::WAVEHDR));
            platform::waveInAddBuffer(h, &headers[i], sizeof(platform::WAVEHDR));
        }
        platform::waveInStart(h);
        loop.advance(100);
        platform::waveInReset(h);
        loop.doEvents();
        for (auto& hdr : headers) {
            require(hdr.dwBytesRecorded <= hdr.dwBufferLength, "a buffer is never filled past its end");
            platform::waveInUnprepareHeader(h, &hdr, sizeof(platform::WAVEHDR));
        }
        require(platform::waveInClose(h) == platform::MMSYSERR_NOERROR, "the device closes");
    }
    platform::resetWaveDevices();
    platform::EventLoop::setCurrent(previous);
}

}  // namespace korvella_fuzz
