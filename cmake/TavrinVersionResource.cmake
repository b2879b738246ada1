# tavrin_version_resource(TARGET FILE_NAME DESCRIPTION [VERSION v]): gives a Windows program
# a version resource, which Explorer's properties show and tavrin-update reads to tell Apps &
# features the version a self-update brought. It names the operator's product and publisher
# (TAVRIN_PRODUCT_NAME, TAVRIN_PUBLISHER) and the build's version (TAVRIN_VERSION, unless
# VERSION is given). Nothing elsewhere.
function(tavrin_version_resource target file_name description)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 3 resource "" "VERSION" "")
  set(version "${TAVRIN_VERSION}")
  if(resource_VERSION)
    set(version "${resource_VERSION}")
  endif()
  string(REGEX MATCHALL "[0-9]+" numbers "${version}")
  list(APPEND numbers 0 0 0 0)
  list(SUBLIST numbers 0 4 numbers)
  list(JOIN numbers "," numbers)  # the resource's four numbers, as TAVRIN_VERSION_4 has them
  set(product "${TAVRIN_PRODUCT_NAME}")
  if(NOT product)
    set(product "Tavrin")
  endif()
  set(values CompanyName "${TAVRIN_PUBLISHER}" FileDescription "${description}"
      FileVersion "${version}" InternalName "${file_name}" OriginalFilename "${file_name}.exe"
      ProductName "${product}" ProductVersion "${version}")
  set(strings "")
  while(values)
    list(POP_FRONT values name value)
    # A resource script doubles a quote inside a string.
    string(REPLACE "\"" "\"\"" value "${value}")
    string(APPEND strings "      VALUE \"${name}\", \"${value}\"\n")
  endwhile()
  # Simplified Chinese, Unicode: the language the launcher speaks to players.
  set(rc "#pragma code_page(65001)\n1 VERSIONINFO\nFILEVERSION ${numbers}\n"
         "PRODUCTVERSION ${numbers}\nFILEOS 0x40004\nFILETYPE 0x1\nBEGIN\n"
         "  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"080404B0\"\n    BEGIN\n${strings}"
         "    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n"
         "    VALUE \"Translation\", 0x804, 1200\n  END\nEND\n")
  string(JOIN "" rc ${rc})
  set(file "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  file(GENERATE OUTPUT "${file}" CONTENT "${rc}")
  target_sources(${target} PRIVATE "${file}")
endfunction()
