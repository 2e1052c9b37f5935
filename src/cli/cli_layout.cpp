// Turning the command line's size and paper ids into a sheet layout, and listing the sizes.
#include "cli_layout.h"

#include "cli_support.h"
#include "session/session_texts.h"

namespace vellicam::cli {

namespace {

template <typename Entry> std::string KnownIds(std::span<const Entry> entries)
{
    std::string ids;
    for (const Entry& entry : entries)
        ids += (ids.empty() ? "" : ", ") + std::string(entry.id);
    return ids;
}

} // namespace

const PhotoSize& PhotoSizeForId(const std::optional<std::string>& id)
{
    if (!id)
        return DefaultPhotoSize();
    if (const PhotoSize* size = FindPhotoSize(*id))
        return *size;
    throw UsageError { "unknown --size '" + *id + "': use one of " + KnownIds(PhotoSizes()) };
}

const PaperSize& PaperSizeForId(const std::optional<std::string>& id)
{
    if (!id)
        return DefaultPaperSize();
    if (const PaperSize* paper = FindPaperSize(*id))
        return *paper;
    throw UsageError { "unknown --paper '" + *id + "': use one of " + KnownIds(PaperSizes()) };
}

SheetLayout LayoutForIds(const std::optional<std::string>& sizeId, const std::optional<std::string>& paperId)
{
    const PhotoSize& size = PhotoSizeForId(sizeId);
    const PaperSize& paper = PaperSizeForId(paperId);
    SheetLayout layout;
    if (BuildSheetLayout(size, paper, layout) != kLayoutBuilt)
        throw UsageError { std::string("a ") + size.id + " photo does not fit on " + paper.id + " paper" };
    return layout;
}

std::string SizeListText()
{
    std::string text;
    for (const PhotoSize& size : PhotoSizes())
        text += std::string(size.id) + "\t" + size.name + "\t" + SizeText(size) + "\t" + FaceRuleText(size) + "\n";
    return text;
}

} // namespace vellicam::cli
