// Persistence of the daughter-board EEPROMs: one 64 KiB file per daughter board under
// <user data dir>/SimBoard, read through on every access so that two board objects on the same
// directory see the same content, and replaced through a temporary file on every write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/eeprom_image.h"

namespace vx::sim {

class EepromStore {
 public:
  // factory(d) builds daughter board d's image the first time its file does not exist.
  EepromStore(std::filesystem::path directory, std::string model, std::uint32_t board_id,
              int daughters, std::function<EepromImage(int)> factory);

  // Creates the missing files; a directory that cannot be written leaves the images in memory.
  void ensure_present();
  bool read(int daughter, std::uint32_t address, std::uint32_t count, std::uint8_t* out);
  bool write(int daughter, std::uint32_t address, std::uint32_t count, const std::uint8_t* data);
  EepromImage image(int daughter);
  std::filesystem::path file(int daughter) const;

 private:
  bool load(int daughter);
  bool save(int daughter);

  std::filesystem::path directory_;
  std::string model_;
  std::uint32_t board_id_;
  std::function<EepromImage(int)> factory_;
  std::vector<EepromImage> images_;
  std::mutex mutex_;
};

}  // namespace vx::sim
