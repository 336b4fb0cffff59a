# Writes a C++ source holding the given files as byte arrays, with findEmbeddedResource()
# to look them up by file name, so that the plug-in carries its pictures inside.
# cmake -DOUTPUT=<file.cpp> "-DINPUTS=<file>|<file>..." -P embed.cmake
set(body "// Generated from resources/ by resources/embed.cmake; do not edit.\n")
string(APPEND body "#include \"gui/EmbeddedResources.h\"\n\n#include <cstring>\n\nnamespace {\n")
set(table "")
set(index 0)
string(REPLACE "|" ";" INPUTS "${INPUTS}")
foreach(input IN LISTS INPUTS)
    get_filename_component(name ${input} NAME)
    file(READ ${input} hex HEX)
    string(LENGTH "${hex}" hexLength)
    math(EXPR size "${hexLength} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
           "\\1\n" bytes "${bytes}")
    string(APPEND body "const unsigned char resource${index}[${size}] = {\n${bytes}};\n")
    string(APPEND table "    {\"${name}\", resource${index}, ${size}ul},\n")
    math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "struct Resource {\n    const char* name;\n    const unsigned char* data;\n"
                   "    unsigned long size;\n};\nconst Resource resources[] = {\n${table}"
                   "    {nullptr, nullptr, 0ul},\n};\n} // namespace\n\n"
                   "bool findEmbeddedResource(const char* name, const unsigned char** data,\n"
                   "                          unsigned long* size) {\n"
                   "    if (name == nullptr) return false;\n"
                   "    for (const Resource* r = resources; r->name != nullptr; ++r) {\n"
                   "        if (std::strcmp(r->name, name) != 0) continue;\n"
                   "        if (data != nullptr) *data = r->data;\n"
                   "        if (size != nullptr) *size = r->size;\n"
                   "        return true;\n"
                   "    }\n"
                   "    return false;\n}\n")
file(WRITE ${OUTPUT}.tmp "${body}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
