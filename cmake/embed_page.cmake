# Writes OUTPUT, a C++ source holding every file under PAGE_DIR as bytes, for page_files():
#   cmake -DPAGE_DIR=... -DOUTPUT=... -P embed_page.cmake
file(GLOB_RECURSE files RELATIVE ${PAGE_DIR} ${PAGE_DIR}/*)
list(SORT files)
set(arrays "")
set(entries "")
set(n 0)
foreach(rel ${files})
  get_filename_component(ext ${rel} LAST_EXT)
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(ext STREQUAL ".svg")
    set(type "image/svg+xml")
  elseif(ext STREQUAL ".png")
    set(type "image/png")
  else()
    set(type "text/plain; charset=utf-8")
  endif()
  file(READ ${PAGE_DIR}/${rel} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kFile${n}[] = {${bytes} 0};\n")
  string(APPEND entries
         "    {\"/${rel}\", \"${type}\", {reinterpret_cast<const char*>(kFile${n}), ${size}}},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${OUTPUT}.new
     "// Made by cmake/embed_page.cmake from web/page/: do not edit.\n"
     "#include \"web/page_files.h\"\n\nnamespace vx {\n\nnamespace {\n${arrays}\n"
     "const PageFile kFiles[] = {\n${entries}};\n\n}  // namespace\n\n"
     "std::span<const PageFile> page_files() {\n  return kFiles;\n}\n\n}  // namespace vx\n")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
