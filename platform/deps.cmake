# Sound devices (PortAudio), sound files (libsndfile) and rate conversion (libsamplerate).
pkg_check_modules(KORVELLA_AUDIO REQUIRED IMPORTED_TARGET portaudio-2.0 sndfile samplerate)
target_link_libraries(korvella_platform PRIVATE PkgConfig::KORVELLA_AUDIO)
