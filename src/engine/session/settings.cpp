#include "session/settings.h"

namespace vellicam {

RecognitionSettings RecognitionSettingsOf(
    const Settings& settings, bool silentSkip, const std::string& photoFolder, const std::string& photoPath)
{
    RecognitionSettings s;
    s.minFaceSize = settings.minFaceSize;
    s.precision = settings.precision;
    s.jpegQuality = settings.jpegQuality;
    s.upperHalfOnly = settings.upperHalfOnly;
    s.detectChin = settings.detectChin;
    s.saveFaceImage = settings.saveFaceImage;
    s.oversizeIsError = settings.oversizeIsError;
    s.correctHeadTop = settings.correctHeadTop;
    s.tolerance = settings.colourTolerance;
    s.ratio = settings.backgroundRatio;
    s.silentSkip = silentSkip;
    s.usePickedColour = settings.usePickedColour;
    s.pickedColour = settings.pickedColour;
    s.outputFolderText = settings.outputFolder;
    s.photoFolder = photoFolder;
    s.currentPhotoPath = photoPath;
    return s;
}

bool ParseBackgroundColour(const std::string& text, Rgb& colour)
{
    if (text == "white")
        colour = kBackgroundWhite;
    else if (text == "blue")
        colour = kBackgroundLightBlue;
    else if (text == "grey" || text == "gray")
        colour = kBackgroundLightGrey;
    else if (text.size() == 6 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
        const unsigned long v = std::stoul(text, nullptr, 16);
        colour = { static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v) };
    } else
        return false;
    return true;
}

SheetOptions SheetOptionsOf(const Settings& settings)
{
    SheetOptions options;
    options.centreMarks = settings.centreMarks;
    options.cornerMarks = settings.cornerMarks;
    options.scale = settings.scale;
    options.sharpen = settings.sharpen;
    return options;
}

int SheetLayoutOf(const Settings& settings, SheetLayout& layout)
{
    const int built = BuildSheetLayout(settings.photoSize, settings.paper, layout);
    if (built != kLayoutBuilt)
        layout = DefaultSheetLayout();
    return built;
}

} // namespace vellicam
