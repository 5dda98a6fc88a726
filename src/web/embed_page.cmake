# Writes OUTPUT, a C++ file holding the bytes of every file in INPUTS (a list of
# "request path|content type|file" entries), so the page is part of the program.
set(arrays "")
set(table "")
set(index 0)
foreach(entry IN LISTS INPUTS)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 path)
  list(GET parts 1 type)
  list(GET parts 2 file)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char asset${index}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${path}\", \"${type}; charset=utf-8\", {reinterpret_cast<const char*>(asset${index}), ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "// Made by embed_page.cmake from the files of src/web/page.\n"
  "#include \"web/web_page.h\"\n\nnamespace vocalis {\n\nnamespace {\n${arrays}\n"
  "const WebAsset assets[] = {\n${table}};\n}  // namespace\n\n"
  "const WebAsset* findWebAsset(std::string_view path) {\n"
  "    for (const WebAsset& asset : assets)\n"
  "        if (asset.path == path) return &asset;\n"
  "    return nullptr;\n}\n\n}  // namespace vocalis\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
