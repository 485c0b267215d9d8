# The Windows .ico and the macOS .icns are made while building, from the
# SVG icon: rsvg-convert (librsvg) renders each side, and app/tools/iconfile.py
# packs the PNGs as they are.
find_program(RSVG_CONVERT rsvg-convert)
if(NOT RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert renders the program's icon: install librsvg2-bin (Debian) "
                        "or librsvg (Homebrew)")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ICON_SOURCE ${CMAKE_CURRENT_LIST_DIR}/calculus-study.svg)
set(ICON_PACKER ${CMAKE_CURRENT_LIST_DIR}/../tools/iconfile.py)

# Makes `output`, an .ico or .icns file (`kind` ico or icns), of the icon
# drawn at each side given (pixels).
function(add_icon_file kind output)
    set(pngs)
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/icons/${kind})
    foreach(side IN LISTS ARGN)
        set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${kind}/calculus-study-${side}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${RSVG_CONVERT} --width ${side} --height ${side} --output ${png} ${ICON_SOURCE}
            DEPENDS ${ICON_SOURCE}
            VERBATIM)
        list(APPEND pngs ${png})
    endforeach()
    add_custom_command(OUTPUT ${output}
        COMMAND ${Python3_EXECUTABLE} ${ICON_PACKER} ${kind} ${output} ${pngs}
        DEPENDS ${ICON_PACKER} ${pngs}
        COMMENT "Packing the icon into ${output}"
        VERBATIM)
endfunction()
