#include "gradsout/background_writer.h"

#include "gradsout/pending_file.h"

namespace d2g {

void BackgroundWriter::submit(PendingFile& out, const char* bytes, std::size_t count) {
  task_.submit([&out, bytes, count] { out.write(bytes, count); });
}

}  // namespace d2g
