# Sound devices (PortAudio), sound files (libsndfile), rate conversion (libsamplerate) and the
# converted-file cache's checksums (zlib); giflib writes the GDI+ stand-in's GIF pictures.
pkg_check_modules(KORVELLA_AUDIO REQUIRED IMPORTED_TARGET portaudio-2.0 sndfile samplerate zlib)
target_link_libraries(korvella_platform PRIVATE PkgConfig::KORVELLA_AUDIO)
find_package(GIF REQUIRED)
target_link_libraries(korvella_platform PUBLIC GIF::GIF)
