// ProductSwap: moves the finished files of one product into place so that every move can be
// undone. Old files are not removed but moved aside under hidden temporary names until the whole
// product is in place; a failure at any step moves everything back, so the product is the old
// one whole again, control file included. A process killed midway leaves what was moved aside
// under names that the next run into the directory removes.
#pragma once

#include <string>
#include <vector>

#include "gradsout/output_dir.h"
#include "gradsout/pending_file.h"

namespace d2g {

class FileReaper;

class ProductSwap {
 public:
  explicit ProductSwap(const OutputDir& dir) : dir_(dir) {}
  // Without complete(), puts back what was moved.
  ~ProductSwap();
  ProductSwap(const ProductSwap&) = delete;
  ProductSwap& operator=(const ProductSwap&) = delete;

  // Moves the existing file `name` (if any) aside: the product no longer has it.
  void withdraw(const std::string& name, int unit);
  // Puts the finished `file` in place under its target's name; an existing target is exchanged
  // atomically with it and kept aside.
  void put(PendingFile& file);
  // The product is whole: what was moved aside is removed, large files by `reaper` when given.
  void complete(FileReaper* reaper);

 private:
  struct Move {
    std::string name;   // the product file's name
    std::string aside;  // where its old content went; empty when there was none
  };
  // A free hidden name beside `name`, of the form the stale-file clean-up knows.
  std::string aside_name(const std::string& name);
  void roll_back() noexcept;

  const OutputDir& dir_;
  std::vector<Move> moves_;
  bool completed_ = false;
};

}  // namespace d2g
