# Writes OUTPUT, the header that gives built_in_key.cpp its release key: KEY, or the line of
# KEY_FILE. Included by the configure step, or run (-P) by the build for a key made later.
if(DEFINED KEY_FILE)
  file(READ "${KEY_FILE}" KEY)
  string(STRIP "${KEY}" KEY)
endif()
string(LENGTH "${KEY}" key_length)
if(NOT KEY STREQUAL "" AND (NOT KEY MATCHES "^p256:[0-9a-f]+$" OR NOT key_length EQUAL 133))
  message(FATAL_ERROR "A release key is the line of a KEY.pub: p256:<128 hex digits>")
endif()
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT
     "// Made by the build from the release key it was given.\n#pragma once\nconstexpr char kReleaseKeyText[] = \"@KEY@\";\n"
     @ONLY)
