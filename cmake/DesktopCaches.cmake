# quillory_refresh_desktop_caches(prefix only_existing): brings the desktop's look-up caches under
# prefix up to date with the desktop entry, MIME package and icons there, so that the applications
# menu and the file manager see them at once. With only_existing, a cache that was never built is
# left unbuilt, so that an uninstall leaves nothing of its own behind. A missing tool is no error:
# the desktop then reads the files themselves, only later.
function(quillory_refresh_desktop_caches prefix only_existing)
  set(steps
    "update-mime-database|${prefix}/share/mime|${prefix}/share/mime/mime.cache"
    "update-desktop-database|${prefix}/share/applications|${prefix}/share/applications/mimeinfo.cache"
    "gtk-update-icon-cache|${prefix}/share/icons/hicolor|${prefix}/share/icons/hicolor/icon-theme.cache")
  foreach(step IN LISTS steps)
    string(REPLACE "|" ";" step "${step}")
    list(GET step 0 tool)
    list(GET step 1 folder)
    list(GET step 2 cache)
    unset(tool_path)
    find_program(tool_path ${tool} NO_CACHE)
    # The icon cache is optional, and a stale one hides new icons: only one that exists is rebuilt.
    if(tool STREQUAL "gtk-update-icon-cache" AND NOT EXISTS "${cache}")
      continue()
    endif()
    if(NOT tool_path OR NOT IS_DIRECTORY "${folder}" OR (only_existing AND NOT EXISTS "${cache}"))
      continue()
    endif()
    set(arguments "${folder}")
    if(tool STREQUAL "gtk-update-icon-cache")
      set(arguments -q -t -f "${folder}")
    endif()
    execute_process(COMMAND ${tool_path} ${arguments} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(WARNING "${tool} ${folder} failed (${result}); the desktop may see the change only later")
    endif()
  endforeach()
endfunction()
