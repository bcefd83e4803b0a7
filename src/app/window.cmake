# The window half of the application shell: start-up, the main frame and its bars, the dialogs.
target_sources(quillory_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AboutDialog.cpp ${CMAKE_CURRENT_LIST_DIR}/AboutDialog.h
  ${CMAKE_CURRENT_LIST_DIR}/FolderDialog.cpp ${CMAKE_CURRENT_LIST_DIR}/FolderDialog.h
  ${CMAKE_CURRENT_LIST_DIR}/FrameIds.h
  ${CMAKE_CURRENT_LIST_DIR}/HtmlPageDialog.cpp ${CMAKE_CURRENT_LIST_DIR}/HtmlPageDialog.h
  ${CMAKE_CURRENT_LIST_DIR}/MainFrame.cpp ${CMAKE_CURRENT_LIST_DIR}/MainFrame.h
  ${CMAKE_CURRENT_LIST_DIR}/QtSeams.cpp ${CMAKE_CURRENT_LIST_DIR}/QtSeams.h
  ${CMAKE_CURRENT_LIST_DIR}/SplashFrame.cpp ${CMAKE_CURRENT_LIST_DIR}/SplashFrame.h
  ${CMAKE_CURRENT_LIST_DIR}/StringTable.cpp ${CMAKE_CURRENT_LIST_DIR}/StringTable.h
  ${CMAKE_CURRENT_LIST_DIR}/WindowApp.cpp ${CMAKE_CURRENT_LIST_DIR}/WindowApp.h)

qt_add_resources(quillory_window "quillory_app_resources"
  PREFIX "/app"
  BASE "${PROJECT_SOURCE_DIR}/res/app"
  FILES
    "${PROJECT_SOURCE_DIR}/res/app/strings.txt"
    "${PROJECT_SOURCE_DIR}/res/app/splash.png"
    "${PROJECT_SOURCE_DIR}/res/app/quillory.png")
# The toolbar's strip lives beside the menu's drawing code; the plain toolbar takes its own copy.
qt_add_resources(quillory_window "quillory_app_toolbar"
  PREFIX "/app"
  BASE "${PROJECT_SOURCE_DIR}/res"
  FILES "${PROJECT_SOURCE_DIR}/res/toolbar.bmp")

add_executable(quillory ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(quillory PRIVATE quillory_window)
