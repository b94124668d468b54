# The release ZIP: the program, the simulated device kit and the documents, laid out as README.md
# lists them under "Release package".
install(TARGETS mirasee RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:simcam> $<TARGET_FILE:simcam_tool> DESTINATION simcam)
install(FILES simcam/profiles/webcam.txt simcam/profiles/capture-card.txt simcam/profiles/minimal.txt
        DESTINATION simcam/profiles)
install(FILES README.md LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VANTORQ-MIRAsee)
set(CPACK_PACKAGE_FILE_NAME VANTORQ-MIRAsee-${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
