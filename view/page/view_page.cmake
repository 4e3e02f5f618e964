# The live view's page, from the files of this folder (index.html names the
# rest), made into a header by embed_page.cmake whenever one of them changes.
set(LUMIVANE_PAGE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(LUMIVANE_PAGE_FILES index.html view.css kiosk.css choices.js panel.js wake.js kiosk.js timeline.js clip.js
  live.js)
list(TRANSFORM LUMIVANE_PAGE_FILES PREPEND ${LUMIVANE_PAGE_DIR}/)
set(LUMIVANE_VIEW_PAGE ${CMAKE_CURRENT_BINARY_DIR}/generated/view/view_page_html.h)
add_custom_command(OUTPUT ${LUMIVANE_VIEW_PAGE}
  COMMAND ${CMAKE_COMMAND} -DPAGE=${LUMIVANE_PAGE_DIR}/index.html
          -DOUTPUT=${LUMIVANE_VIEW_PAGE} -P ${LUMIVANE_PAGE_DIR}/embed_page.cmake
  DEPENDS ${LUMIVANE_PAGE_DIR}/embed_page.cmake ${LUMIVANE_PAGE_FILES}
  COMMENT "Generating the live view's page from view/page"
  VERBATIM)
