// The sheet layout chosen on the command line: the --size and --paper ids turned into a layout, and the size list.
#pragma once

#include "sheet/photo_size.h"
#include "sheet/sheet_layout.h"

#include <optional>
#include <string>

namespace vellicam::cli {

// The photo size of that id, the default one when no id is given. Throws UsageError naming the known ids for an
// unknown one.
[[nodiscard]] const PhotoSize& PhotoSizeForId(const std::optional<std::string>& id);
[[nodiscard]] const PaperSize& PaperSizeForId(const std::optional<std::string>& id);

// The layout of the size on the paper (defaults where an id is missing). Throws UsageError for an unknown id or a
// pair where not one photo fits.
[[nodiscard]] SheetLayout LayoutForIds(
    const std::optional<std::string>& sizeId, const std::optional<std::string>& paperId);

// One line per size: id, name, millimetres and face rule, separated by tabs.
[[nodiscard]] std::string SizeListText();

} // namespace vellicam::cli
