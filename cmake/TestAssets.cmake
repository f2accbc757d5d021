# Tone-coded stand-ins for the real assets, so that a capture of the mix tells which sound played:
# made by tools/make-test-assets into JUKEBOX_TEST_ASSETS (target test_assets).
set(JUKEBOX_TEST_ASSETS ${PROJECT_BINARY_DIR}/test-assets)
add_custom_command(
    OUTPUT ${JUKEBOX_TEST_ASSETS}/data/bgm1.ogg
    COMMAND ${PROJECT_SOURCE_DIR}/tools/make-test-assets ${JUKEBOX_TEST_ASSETS}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/make-test-assets
    COMMENT "Making the test assets")
add_custom_target(test_assets ALL DEPENDS ${JUKEBOX_TEST_ASSETS}/data/bgm1.ogg)
