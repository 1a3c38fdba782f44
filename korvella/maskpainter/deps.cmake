# What the mask painter links beyond the forms runtime: giflib writes the mask picture,
# fontconfig and FreeType list the screen fonts and print the text brush.
find_package(GIF REQUIRED)
target_link_libraries(korvella_windows PUBLIC GIF::GIF)
pkg_check_modules(KORVELLA_FONTS REQUIRED IMPORTED_TARGET fontconfig freetype2)
target_link_libraries(korvella_windows PRIVATE PkgConfig::KORVELLA_FONTS)
