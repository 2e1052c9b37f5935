// The path rules on arbitrary bytes: the separator test, the two JPEG-name rules, the folder and file parts of a
// path, the sheet's name and path and the log's path. None may crash, and each keeps the promise its header makes.
#include "image/folder_scan.h"
#include "fuzz_support.h"
#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace vellicam;

namespace {

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void CheckOnePath(const std::string& path)
{
    const int separator = EndsWithSeparator(path);
    if (path.empty())
        FUZZ_CHECK(separator == -3);
    else if (path.size() > 2047)
        FUZZ_CHECK(separator == -2);
    else
        FUZZ_CHECK(separator == (path.back() == '/' ? 1 : 0));

    // A name that opens on a drop is also a name the folder scan takes.
    const bool dropped = IsDroppedJpegName(path);
    const bool scanned = IsScannedJpegName(path);
    if (dropped)
        FUZZ_CHECK(scanned);
    FUZZ_CHECK(scanned == EndsWith(Lower(path), ".jpg"));
    if (dropped)
        FUZZ_CHECK(EndsWith(path, ".jpg") || EndsWith(path, ".JPG") || EndsWith(path, ".Jpg"));

    const std::string folder = FolderOf(path);
    const std::string name = FileNameOf(path);
    FUZZ_CHECK(name.find('/') == std::string::npos);
    FUZZ_CHECK(EndsWith(path, name));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        FUZZ_CHECK(folder.empty());
        FUZZ_CHECK(name == path);
    } else if (slash == 0) {
        FUZZ_CHECK(folder == "/");
    } else {
        FUZZ_CHECK(folder + "/" + name == path);
    }

    // A sheet written beside its photo never replaces it, and the folder scan never takes it for a photo.
    const std::string sheet = DerivedSheetName(name);
    FUZZ_CHECK(sheet != name);
    FUZZ_CHECK(!EndsWith(Lower(sheet), ".jpg"));
    FUZZ_CHECK(!IsScannedJpegName(sheet));
    FUZZ_CHECK(!IsDroppedJpegName(sheet));
    if (slash != std::string::npos && slash != 0) {
        const std::string beside = OutputPath("", folder + "/", path);
        FUZZ_CHECK(beside != path);
        FUZZ_CHECK(FolderOf(beside) == folder);
    }
    // Photos that differ in the case of their extension only get sheets of their own.
    if (IsScannedJpegName(name)) {
        std::string other = name;
        char& g = other.back();
        g = g == 'g' ? 'G' : 'g';
        FUZZ_CHECK(DerivedSheetName(other) != sheet);
    } else {
        FUZZ_CHECK(DerivedSheetName(name + ".jpg") != sheet);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string edit3 = input.ConsumeRandomLengthString(4096);
    const std::string photoFolder = input.ConsumeRandomLengthString(4096);
    const std::string photoPath = input.ConsumeRemainingBytesAsString();

    CheckOnePath(edit3);
    CheckOnePath(photoFolder);
    CheckOnePath(photoPath);

    // The box's text (or the photo folder) as a folder: with exactly the '/' it may lack.
    const std::string outputFolder = OutputFolder(edit3, photoFolder);
    const std::string chosen = edit3.empty() ? photoFolder : edit3;
    if (chosen.empty())
        FUZZ_CHECK(outputFolder.empty());
    else
        FUZZ_CHECK(outputFolder == (chosen.back() == '/' ? chosen : chosen + "/"));

    // The photo's own name in the output folder, or the derived one, or a numbered one when those are held; never
    // the photo itself.
    const std::string name = FileNameOf(photoPath);
    const std::string output = OutputPath(edit3, photoFolder, photoPath);
    const bool ownName = !edit3.empty() && output == outputFolder + name;
    bool derived = false;
    for (int number = 1; number <= 3 && !derived; ++number)
        derived = output == outputFolder + DerivedSheetName(name, {}, number);
    FUZZ_CHECK(ownName || derived || output.empty()
        || output.compare(0, outputFolder.size(), outputFolder) == 0);
    if (ownName)
        FUZZ_CHECK(!NameSameFile(output, photoPath));
    FUZZ_CHECK(output != photoPath);

    const std::string log = RecognitionLogPath(edit3, photoFolder);
    FUZZ_CHECK(log == outputFolder + kRecognitionLogName);
    FUZZ_CHECK(!IsScannedJpegName(log));

    const std::string target = OpenFolderTarget(edit3, photoFolder);
    FUZZ_CHECK(target.empty() || target.back() == '/');
    FUZZ_CHECK(outputFolder.compare(0, target.size(), target) == 0);
    if (outputFolder.find('/') == std::string::npos)
        FUZZ_CHECK(target.empty());
    return 0;
}
