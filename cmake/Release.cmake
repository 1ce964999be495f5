# The download: the shipped exe and the user guide in one zip, with its
# SHA-256 file beside it, built by the `release` target of the i686 build.
if(MABIRU_SIZE_RELEASE AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86" AND TARGET mabiru-setup)
  set(MABIRU_DIST_DIR ${PROJECT_SOURCE_DIR}/dist CACHE PATH
      "Folder the release target writes the download and its SHA-256 file to")
  set(MABIRU_RELEASE_ZIP ${MABIRU_DIST_DIR}/mabiru-setup-${PROJECT_VERSION}-win32.zip)
  add_custom_target(release
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-shipped.sh $<TARGET_FILE:mabiru-setup>
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/package.sh $<TARGET_FILE:mabiru-setup>
            ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${MABIRU_RELEASE_ZIP}
    DEPENDS mabiru-setup
    COMMENT "Packing ${MABIRU_RELEASE_ZIP}"
    VERBATIM)
endif()
