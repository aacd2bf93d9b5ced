# GoogleTest from Debian's source package, built with the same toolchain.
set(TVN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
if(NOT TARGET gtest)
    add_subdirectory(${TVN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

file(GLOB TVN_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(tvn_test_support STATIC ${TVN_TEST_SUPPORT})
target_include_directories(tvn_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/support)
target_compile_options(tvn_test_support PRIVATE ${TVN_WARNINGS})
target_link_libraries(tvn_test_support PUBLIC tvn_app gtest)

# One test executable per source folder; CTest runs each under Wine.
function(tvn_add_test_suite name folder)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_compile_options(${name} PRIVATE ${TVN_WARNINGS})
    target_link_libraries(${name} PRIVATE tvn_test_support gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 ${ARGN})
endfunction()

tvn_add_test_suite(platform_tests platform LABELS headless)
tvn_add_test_suite(engine_tests engine LABELS headless)
tvn_add_test_suite(app_tests app LABELS headless)
# The engine's test of the installation folder's fallback makes the prefix's
# own C:\Program Files\Brimlace\Tallyvane for a moment, which the window's
# and the command line's tests would then detect: the two never run at once.
set_tests_properties(engine_tests app_tests PROPERTIES RESOURCE_LOCK program-files-installation)
# The command-line tests run the console twin beside their own executable.
add_dependencies(app_tests TVNCloudDriveConsole)
tvn_add_test_suite(reliability_tests reliability LABELS headless)

# Runs one configuration and ends its own process at a chosen change to the
# disk; the crash-point tests start it beside their own executable.
add_executable(tvn_crash_run ${CMAKE_SOURCE_DIR}/tests/reliability/tools/CrashRun.cpp)
target_compile_options(tvn_crash_run PRIVATE ${TVN_WARNINGS})
target_link_libraries(tvn_crash_run PRIVATE tvn_engine)
add_dependencies(reliability_tests tvn_crash_run)

# End-to-end runs of the real window: need an X display (Xvfb).
file(GLOB TVN_GUI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/gui/*.cpp)
if(TVN_GUI_TEST_SOURCES)
    # The progress test copies a tree made by the benchmark's generator.
    add_executable(gui_tests ${TVN_GUI_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/bench/Generators.cpp)
    target_include_directories(gui_tests PRIVATE ${CMAKE_SOURCE_DIR}/bench)
    # The resource test expects the version that project() sets, not a copy.
    target_compile_definitions(gui_tests PRIVATE TVN_PROJECT_VERSION="${PROJECT_VERSION}"
                                                TVN_PUBLISHER="${TVN_PUBLISHER}")
    target_compile_options(gui_tests PRIVATE ${TVN_WARNINGS})
    target_link_libraries(gui_tests PRIVATE tvn_test_support gtest_main)
    add_dependencies(gui_tests TVNCloudDrive)
    add_test(NAME gui_tests COMMAND gui_tests --gtest_brief=1)
    set_tests_properties(gui_tests PROPERTIES TIMEOUT 900 LABELS gui RUN_SERIAL TRUE)
endif()
