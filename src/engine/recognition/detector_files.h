// Where the detector library, its two cascades and the notice are for a program in a given folder: beside the
// program (the build tree, or a folder put together by hand) or in the installed tree (bin/../lib/vellicam for the
// library, bin/../share/vellicam for the data), with the folders looked in so that a message can name them.
#pragma once

#include <string>
#include <vector>

namespace vellicam {

// The person-segmentation model, converted at build time from the npm package scripts/install-deps fetches.
inline constexpr const char* kPersonModelFile = "person_segmentation.onnx";
// The learned face detector, the library's last resort when no face is confirmed, converted alike.
inline constexpr const char* kFaceModelFile = "face_detection_short_range.onnx";

struct DetectorFiles {
    std::string library; // libfacedetect.so
    std::string faceCascade; // haarcascade_frontalface_default.xml
    std::string chinCascade; // ago.xml (may be missing: the chin pass then finds nothing)
    std::string notice; // お読み下さい.txt, opened when the face cascade is missing
    std::string personModel; // person_segmentation.onnx, beside the cascades (may be missing: no person mask)
    std::string faceModel; // face_detection_short_range.onnx, beside the cascades (may be missing: no last resort)
    std::vector<std::string> libraryFolders; // where the library was looked for, in order
    std::vector<std::string> dataFolders; // where the cascades and the notice were looked for, in order
};

// The folder the running program's file lies in (from /proc/self/exe, links resolved), or "" when the system does
// not say; `reason` (when given) then gets the system's words.
[[nodiscard]] std::string ProgramFolder(std::string* reason = nullptr);

// The detector's files for a program in `programFolder` (made absolute and normalised). The library is taken from
// the first of libraryFolders holding it, the cascades and the notice together from the first of dataFolders
// holding the face cascade. When none holds it, the path names the installed folder if that folder exists and the
// program's own otherwise, so a message points where the piece belongs. An empty `programFolder` gives empty paths.
[[nodiscard]] DetectorFiles FindDetectorFiles(const std::string& programFolder);

// The folders as a message names them: "A", "A or B", "A, B or C".
[[nodiscard]] std::string FolderList(const std::vector<std::string>& folders);

} // namespace vellicam
