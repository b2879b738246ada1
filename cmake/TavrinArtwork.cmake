# The pictures the programs carry: res/*.png and res/*.bmp, each replaced by the file of the
# same name in an operator's TAVRIN_ARTWORK folder where it has one. They are gathered in
# <build>/pictures/res/ (again whenever a picture changes or the folder gains one), and
# TAVRIN_PICTURES lists them.
#
# The windows' shapes, hit areas and layout are drawn from the pictures' sizes, so a
# replacement must be exactly the size of the picture it replaces (res/README.md lists them),
# and a @2x one exactly twice that. Where an operator replaces a picture but not its @2x
# variant, ours is dropped: screens above 100 % then scale the operator's picture rather than
# show our artwork.
set(TAVRIN_ARTWORK "" CACHE PATH
    "a folder of pictures named as in res/ (146.png ...) that replace the launcher's own")

# The width and height of a PNG or BMP file, as "WxH".
function(tavrin_picture_size file out)
  if(file MATCHES "\\.png$")
    # PNG: 32-bit big-endian width and height at 16, in the header chunk.
    file(READ "${file}" header OFFSET 16 LIMIT 8 HEX)
    string(SUBSTRING "${header}" 0 8 w)
    string(SUBSTRING "${header}" 8 8 h)
  else()
    # BMP: 32-bit little-endian width and height at 18; a top-down picture's height is
    # negative, and only its size counts here.
    file(READ "${file}" header OFFSET 18 LIMIT 8 HEX)
    set(w "")
    set(h "")
    foreach(byte 3 2 1 0)
      math(EXPR at "${byte} * 2")
      string(SUBSTRING "${header}" ${at} 2 b)
      string(APPEND w "${b}")
      math(EXPR at "(${byte} + 4) * 2")
      string(SUBSTRING "${header}" ${at} 2 b)
      string(APPEND h "${b}")
    endforeach()
  endif()
  math(EXPR width "0x${w}")
  math(EXPR height "0x${h}")
  if(height GREATER 2147483647)
    math(EXPR height "4294967296 - ${height}")
  endif()
  set(${out} "${width}x${height}" PARENT_SCOPE)
endfunction()

# tavrin_gather_pictures(RES ARTWORK BASE): RES's pictures, ARTWORK's in their place, copied
# to BASE/res; sets TAVRIN_PICTURES to the copies.
function(tavrin_gather_pictures res artwork base)
  set(staged "${base}/res")
  # A configure step looks again when a folder gains a picture (a script, the test, cannot).
  set(watch CONFIGURE_DEPENDS)
  if(CMAKE_SCRIPT_MODE_FILE)
    set(watch)
  endif()
  file(GLOB ours ${watch} "${res}/*.png" "${res}/*.bmp")
  set(theirs)
  if(artwork)
    if(NOT IS_DIRECTORY "${artwork}")
      message(FATAL_ERROR "TAVRIN_ARTWORK: no such folder: ${artwork}")
    endif()
    file(GLOB theirs ${watch} "${artwork}/*.png" "${artwork}/*.bmp")
  endif()
  set(names)
  foreach(picture IN LISTS ours)
    get_filename_component(name "${picture}" NAME)
    list(APPEND names "${name}")
  endforeach()
  set(replaced)
  foreach(picture IN LISTS theirs)
    get_filename_component(name "${picture}" NAME)
    if(NOT name IN_LIST names)
      message(FATAL_ERROR "TAVRIN_ARTWORK: ${name} is not one of the launcher's pictures "
                          "(res/README.md lists them, by number)")
    endif()
    list(APPEND replaced "${name}")
  endforeach()
  file(REMOVE_RECURSE "${staged}")
  set(pictures)
  foreach(picture IN LISTS ours)
    get_filename_component(name "${picture}" NAME)
    string(REPLACE "@2x" "" normal "${name}")
    set(source "${picture}")
    if(name IN_LIST replaced)
      set(source "${artwork}/${name}")
      tavrin_picture_size("${picture}" wanted)
      tavrin_picture_size("${source}" given)
      if(NOT given STREQUAL wanted)
        message(FATAL_ERROR "TAVRIN_ARTWORK: ${name} is ${given} pixels; the launcher lays "
                            "its window out for ${wanted}")
      endif()
    elseif(NOT normal STREQUAL name AND normal IN_LIST replaced)
      continue()  # the operator's picture, scaled, rather than ours at twice the size
    endif()
    configure_file("${source}" "${staged}/${name}" COPYONLY)
    list(APPEND pictures "${staged}/${name}")
  endforeach()
  set(TAVRIN_PICTURES "${pictures}" PARENT_SCOPE)
endfunction()
