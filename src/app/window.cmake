# The Qt main window: a library with TForm1 and its helpers (the tests use it too), the program
# quellmark, and the screenshot maker that `make screenshot` builds on demand.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

add_library(quellmark_window STATIC
  app/WindowPlatform.h
  app/WindowTexts.h
  app/QtText.h
  app/QtPlatform.cpp
  app/WindowPaths.cpp
  app/FormSettings.cpp
  app/FileListText.cpp
  app/ConvertJob.cpp
  app/Unit1.cpp
  app/Unit1Tree.cpp
  app/Unit1List.cpp
  app/Unit1Convert.cpp
)
set_target_properties(quellmark_window PROPERTIES AUTOMOC ON)
target_link_libraries(quellmark_window PUBLIC quellmark_core Qt6::Widgets)
quellmark_warnings(quellmark_window)

add_executable(quellmark app/main.cpp)
target_link_libraries(quellmark PRIVATE quellmark_window)
quellmark_warnings(quellmark)

# Drives the window over a prepared program folder and saves a picture of it.
add_executable(quellmark-screenshot EXCLUDE_FROM_ALL app/screenshot_main.cpp)
target_link_libraries(quellmark-screenshot PRIVATE quellmark_window Qt6::Test)
quellmark_warnings(quellmark-screenshot)
