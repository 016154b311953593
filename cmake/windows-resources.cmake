# Resources of the Windows binaries: version information from the project's
# version in each, and in the programs an application manifest and the
# project's icon.
#
#   ebd_windows_resources(TARGET FILE_DESCRIPTION [WINDOW] [PROGRAM])
#
# PROGRAM: an .exe, with icon and manifest; WINDOW: the manifest also asks for
# the current common controls and per-monitor DPI awareness (PerMonitorV2).
enable_language(RC)

set(EBD_WINDOWS_RESOURCES_DIR ${PROJECT_SOURCE_DIR}/packaging/windows)

function(ebd_windows_resources target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "WINDOW;PROGRAM" "" "")
  get_target_property(EBD_RC_NAME ${target} OUTPUT_NAME)
  if(NOT EBD_RC_NAME)
    set(EBD_RC_NAME ${target})
  endif()
  set(EBD_RC_DESCRIPTION "${description}")
  set(EBD_RC_EXTRA "")
  set(EBD_MANIFEST_GUI "")
  if(arg_PROGRAM)
    set(EBD_RC_FILE ${EBD_RC_NAME}.exe)
    set(EBD_RC_FILETYPE VFT_APP)
    if(arg_WINDOW)
      string(CONCAT EBD_MANIFEST_GUI
        "  <dependency>\n"
        "    <dependentAssembly>\n"
        "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"\n"
        "                        processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>\n"
        "    </dependentAssembly>\n"
        "  </dependency>\n"
        "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
        "    <windowsSettings>\n"
        "      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>\n"
        "      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>\n"
        "    </windowsSettings>\n"
        "  </application>\n")
    endif()
    set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${EBD_WINDOWS_RESOURCES_DIR}/program.manifest.in ${manifest} @ONLY)
    # 1 ICON: the program's icon in Explorer; resource type 24 (RT_MANIFEST),
    # id 1: the manifest the loader reads when the program starts.
    string(CONCAT EBD_RC_EXTRA
      "1 ICON \"${EBD_WINDOWS_RESOURCES_DIR}/ebd.ico\"\n"
      "1 24 \"${manifest}\"\n")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${manifest})
  else()
    set(EBD_RC_FILE lib${EBD_RC_NAME}.dll)
    set(EBD_RC_FILETYPE VFT_DLL)
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${EBD_WINDOWS_RESOURCES_DIR}/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${EBD_WINDOWS_RESOURCES_DIR}/ebd.ico)
endfunction()
