#include "sim/eeprom_store.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace vx::sim {

EepromStore::EepromStore(std::filesystem::path directory, std::string model, std::uint32_t board_id,
                         int daughters, std::function<EepromImage(int)> factory)
    : directory_(std::move(directory)),
      model_(std::move(model)),
      board_id_(board_id),
      factory_(std::move(factory)),
      images_(static_cast<std::size_t>(daughters)) {}

std::filesystem::path EepromStore::file(int daughter) const {
  return directory_ / "SimBoard" /
         ("eeprom_" + model_ + "_" + std::to_string(board_id_) + "_" + std::to_string(daughter) +
          ".bin");
}

void EepromStore::ensure_present() {
  std::lock_guard lock(mutex_);
  for (int d = 0; d < static_cast<int>(images_.size()); ++d) {
    if (load(d)) continue;
    images_[d] = factory_(d);
    save(d);
  }
}

bool EepromStore::load(int daughter) {
  std::ifstream in(file(daughter), std::ios::binary);
  if (!in) return false;
  EepromImage img(kEepromSize, 0xFF);
  in.read(reinterpret_cast<char*>(img.data()), static_cast<std::streamsize>(img.size()));
  // A short file keeps its bytes; the rest reads as erased memory.
  images_[daughter] = std::move(img);
  return true;
}

bool EepromStore::save(int daughter) {
  std::error_code ec;
  std::filesystem::create_directories(directory_ / "SimBoard", ec);
  const auto target = file(daughter);
  auto tmp = target;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const auto& img = images_[daughter];
    out.write(reinterpret_cast<const char*>(img.data()), static_cast<std::streamsize>(img.size()));
    out.flush();
    if (!out) {
      out.close();
      std::filesystem::remove(tmp, ec);
      return false;
    }
  }
  std::filesystem::rename(tmp, target, ec);
  if (ec) {
    std::filesystem::remove(tmp, ec);
    return false;
  }
  return true;
}

bool EepromStore::read(int daughter, std::uint32_t address, std::uint32_t count,
                       std::uint8_t* out) {
  std::lock_guard lock(mutex_);
  if (daughter < 0 || daughter >= static_cast<int>(images_.size())) return false;
  if (address + static_cast<std::uint64_t>(count) > kEepromSize) return false;
  load(daughter);
  auto& img = images_[daughter];
  if (img.size() != kEepromSize) img.assign(kEepromSize, 0xFF);
  std::copy_n(img.begin() + address, count, out);
  return true;
}

bool EepromStore::write(int daughter, std::uint32_t address, std::uint32_t count,
                        const std::uint8_t* data) {
  std::lock_guard lock(mutex_);
  if (daughter < 0 || daughter >= static_cast<int>(images_.size())) return false;
  if (address + static_cast<std::uint64_t>(count) > kEepromSize) return false;
  load(daughter);
  auto& img = images_[daughter];
  if (img.size() != kEepromSize) img.assign(kEepromSize, 0xFF);
  std::copy_n(data, count, img.begin() + address);
  return save(daughter);
}

EepromImage EepromStore::image(int daughter) {
  std::lock_guard lock(mutex_);
  if (daughter < 0 || daughter >= static_cast<int>(images_.size())) return {};
  load(daughter);
  return images_[daughter];
}

}  // namespace vx::sim
