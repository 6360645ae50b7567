# The progress dialog under Wine and the virtual X server of the test run (dialog_test.sh,
# a test like every *_test.sh here): its two helper programs, a probe that reads the dialog
# from outside and a stand-in java.exe, built beside the program. Installers are packed with
# quenlow-pack, which only the Linux build makes; without it the test reports itself skipped.
add_executable(dialog_probe ${CMAKE_CURRENT_LIST_DIR}/dialog_probe.c)
target_link_libraries(dialog_probe PRIVATE comctl32)
add_executable(dialog_java ${CMAKE_CURRENT_LIST_DIR}/dialog_java.c)
set_target_properties(dialog_java PROPERTIES WIN32_EXECUTABLE ON)

set(QUENLOW_NATIVE_PACK ${PROJECT_SOURCE_DIR}/build/linux/bin/quenlow-pack
    CACHE FILEPATH "quenlow-pack of the Linux build, for the Wine tests that pack installers")
set_property(TEST wine_dialog_test APPEND PROPERTY ENVIRONMENT
             "QUENLOW_PACK=${QUENLOW_NATIVE_PACK}")
set_property(TEST wine_dialog_test PROPERTY SKIP_RETURN_CODE 77)
