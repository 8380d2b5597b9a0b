# What a desktop needs of the viewer: the menu entry, its icon, the MIME types of the formats it
# opens that the desktop's database lacks, the thumbnailer, the software centre's metainfo, and
# the sample mesh that a start from the menu opens. Included after GNUInstallDirs.

set(CORVATH_DESKTOP_ID org.corvath.corvath)
set(CORVATH_SAMPLE_FOLDER ${CMAKE_INSTALL_DATADIR}/corvath/examples)

# The viewer finds the sample from its own folder, so that `cmake --install --prefix` elsewhere
# still works; the configured place is its fallback.
file(RELATIVE_PATH CORVATH_SAMPLE_FROM_PROGRAMS ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/corvath/examples/3d.asc)
target_compile_definitions(corvath_viewer PRIVATE
  CORVATH_SAMPLE_FILE="${CMAKE_INSTALL_FULL_DATADIR}/corvath/examples/3d.asc"
  CORVATH_SAMPLE_FROM_PROGRAMS="${CORVATH_SAMPLE_FROM_PROGRAMS}")

install(FILES examples/3d.asc examples/knot.ply DESTINATION ${CORVATH_SAMPLE_FOLDER})
install(FILES desktop/${CORVATH_DESKTOP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES desktop/${CORVATH_DESKTOP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES desktop/corvath-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES desktop/corvath.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
foreach(size 16 22 24 32 48 64 128 256 512)
  install(FILES desktop/icons/${size}x${size}/corvath.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
