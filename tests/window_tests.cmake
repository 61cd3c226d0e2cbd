# The main window's suites, which run TForm1 on Qt's offscreen platform inside GoogleTest, with
# Qt Test's helpers for waiting on the batch.

find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

add_executable(window_test
  window_test_main.cpp
  window_testkit.cpp
  window_startup_test.cpp
  window_tree_test.cpp
  window_list_test.cpp
  window_convert_test.cpp
  window_keyboard_test.cpp
  window_preview_test.cpp
)
target_link_libraries(window_test PRIVATE quellmark_testkit quellmark_window Qt6::Widgets Qt6::Test GTest::gtest)
quellmark_warnings(window_test)
target_compile_definitions(window_test PRIVATE QUELLMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

set(window_test_environment "QT_QPA_PLATFORM=offscreen")
if(QUELLMARK_SANITIZE)
  # Fontconfig and Qt keep caches for the life of the process on purpose.
  list(APPEND window_test_environment "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp:print_suppressions=0")
endif()
gtest_discover_tests(window_test DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${window_test_environment}")
