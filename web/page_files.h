// The monitor's page, its script, style sheet and plotting library, compiled into the program
// from web/page/ (cmake/embed_page.cmake): the server reads no file.
#pragma once

#include <span>
#include <string_view>

namespace vx {

struct PageFile {
  std::string_view path;  // as requested: "/index.html", "/vendor/uplot/uPlot.min.css"
  std::string_view type;  // its Content-Type
  std::string_view body;
};

std::span<const PageFile> page_files();

}  // namespace vx
