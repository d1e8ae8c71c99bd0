# Included from the top level (the generated source must live in the
# installer target's directory scope). The installer script, filled in for this build's release server and key,
# written next to the installer and embedded into it byte for byte.
if(NOT VTF_RELEASE_KEY)
  message(FATAL_ERROR "VTF_RELEASE_KEY is not set: pass the public key file from velmo-release keygen")
endif()

set(script_out ${CMAKE_BINARY_DIR}/installer-script.ps1)
set(script_cpp ${CMAKE_BINARY_DIR}/generated/installer_script_data.cpp)
add_custom_command(
  OUTPUT ${script_out} ${script_cpp}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/embed_script.py
          --template ${CMAKE_SOURCE_DIR}/script/installer.ps1
          --version-header ${CMAKE_SOURCE_DIR}/res/version.h
          --origin ${VTF_RELEASE_ORIGIN}
          --release-key ${VTF_RELEASE_KEY}
          --out-script ${script_out} --out-cpp ${script_cpp}
  DEPENDS ${CMAKE_SOURCE_DIR}/script/installer.ps1 ${CMAKE_SOURCE_DIR}/tools/embed_script.py
          ${CMAKE_SOURCE_DIR}/res/version.h ${VTF_RELEASE_KEY}
  COMMENT "Writing the installer script for ${VTF_RELEASE_ORIGIN}"
  VERBATIM)
target_sources(VELMO_Tallowfin_Installer PRIVATE ${script_cpp})
