// libfacedetect.so: a cascade-classifier detector whose faces a second detector confirms, behind three C functions
// (and seven optional ones). It reads an image file and a cascade file and reports the rectangles it finds, the one
// most likely to be the photo's subject first. It refuses null or empty names, a pass other than 0 or 1 and a
// precision outside 1..10.
//
// The program loads the library at run time (dlopen, dlsym by these names); nothing else is exported, and no
// exception ever leaves it. The library asks to stay mapped once loaded (its models take a second and a half to
// read the first time, about ten milliseconds from the user's model cache after), so a program that releases it
// after each run loads the models only once.
//
// Detection: OpenCV's Haar cascade on the grey image. A large image is searched on a reduced
// copy (longer side about 800 pixels, never so far that the smallest object falls below 40 pixels); rectangles
// are reported in pixels of the image file all the same. The EXIF orientation is ignored: coordinates are those
// of the stored raster.
//
// Confirmation (every cascade except the lower-face one below is taken for a face cascade): dlib's HOG frontal
// face detector looks at each of the cascade's first 32 candidates on its neighbourhood of the reduced copy; a
// candidate it finds no face on (window blinds, foliage, a cat, a carpet) is not reported. Each confirmed face gets
// the landmarks of dlib's 68-point shape predictor (getFacePoints). The boxes stay the cascade's. When the cascade
// finds nothing the face detector confirms, the face detector searches the whole copy by itself for faces of at
// least the minimum size and a tenth of the longer side (a head tilted beyond the cascade's reach) and reports
// them with the box the cascade draws around such a face, computed from the landmarks; when it finds none either,
// the learned face detector read by loadFaceModel has the last word (see there). The landmark model is
// VELLICAM_LANDMARK_MODEL when that is set, else shape_predictor_68_face_landmarks.dat beside the library, else
// Debian's /usr/share/dlib/shape_predictor_68_face_landmarks.dat; without a readable model the cascade works alone,
// as it always did. Both dlib models are kept as flat files in the user's cache folder (vellicam/ under
// XDG_CACHE_HOME, else ~/.cache): shape_predictor_68_face_landmarks.dat.cache, made from the model file, and
// face_detector.libfacedetect.so.cache, made from this library's file; each is checked against its source's size
// and time, its length and a checksum, and is made afresh when it does not match. Without a writable cache folder
// the models are read from their sources every time.
//
// precision 1..10: a detection must merge more than `precision` overlapping windows (OpenCV's minNeighbors), so
// 1 finds nearly everything and 10 only clear faces; 3 is OpenCV's usual choice.
// pass 0: scale step 1.1 on the grey image as it is (equalising its histogram, as OpenCV's samples do, roughly
// doubles the false faces on the test photos). pass 1 (re-detection, asked when the first answer looked wrong):
// the histogram-equalised image, scale step 1.05, and a detection must merge more than 2 × precision − 1 windows
// (at least 1): about twice the windows fall on a face at the finer step, so this is a little more lenient than
// pass 0 and finds faces in dark or flat photos that pass 0 misses.
//
// Order: each detection is scored by the evidence (log2 of 1 + merged windows, plus half the best window's margin
// over the cascade's last stage), its size against the largest detection (× 4), its distance from the vertical
// centre line (× −2, in half image widths) and the part of its head (the face widened by a fifth each side, 0.4
// face heights above, 0.25 below) outside the image (× −8). Highest first, so a large central frontal face leads
// and half faces at the edge and small chance patterns (blinds, foliage) come last.
//
// Cascades beside the library: "haarcascade_frontalface_default.xml" (faces) and "ago.xml", the chin pass's
// lower-face cascade, which is OpenCV's smile (mouth) cascade under another name; OpenCV ships no chin cascade.
// A search with "ago.xml" (matched by file name) is a lower-face search over a strip one face wide: a mouth or a
// chin is never narrower than about a sixth of a face, so nothing narrower than a sixth of the image's width (and
// half that high) is looked for, whatever setMinSize says, and the image is searched on a copy reduced until
// that sixth is 40 pixels wide. On the strip of a 4000-pixel photo this takes about 0.1 s instead of 2.7 s, and
// the first detection on the test photos is the same mouth.
// On the strip from mid-face to half a face below it, the strongest detection, and so the first, is usually the
// mouth, whose centre lies above the face rectangle's lower edge; the program looks on for one whose centre lies at
// or below that edge (the chin). Hits whose centre lies in the strip's last quarter (collars, necklaces, hands: the
// neck, never the chin) are not reported at all: taken for the chin, they would push the frame's chin line down
// onto the clothing.
//
// Not thread-safe: one caller at a time (detectorKind excepted, which may run beside a facedetect). The last loaded
// cascade is kept while its file (path, size and time) stays the same, so the repeated face passes of a batch do not
// parse it again.
#pragma once

#define FACEDETECT_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

// Smallest object for the following facedetect calls, in pixels of the image file (negative counts as 0, which
// leaves the cascade's own window size). Stays until changed; the library starts at 0 × 0.
FACEDETECT_EXPORT void setMinSize(int minWidth, int minHeight);

// Detects the cascade's objects in the image file (JPEG, PNG, anything OpenCV reads). `flag` is not used (only
// its low byte was ever meaningful, and the program passes 0). The previous results are dropped first, so after
// a failure getRect(-1, -1) is 0.
// Returns:
//    0  success (possibly no detection)
//   -1  bad arguments
//   -2  the image file is missing or cannot be decoded
//   -3  the cascade file is missing or is not a cascade
//   -4  out of memory
//   -5  any other fault inside the detector
//   -7  success with a warning: the image is smaller than the minimum size (or the cascade's window), so nothing
//       could be searched and there are no detections
FACEDETECT_EXPORT int facedetect(const char* imageFile, int flag, const char* cascadeFile, int pass, int precision);

// getRect(-1, i): the number of detections of the last facedetect (0 when none or when it failed), whatever i.
// getRect(k, i), k = 0, 1, 2, 3: left, top, right, bottom (exclusive) of detection i, from 0, in pixels of the
// image file; 0 when there is no detection i (so a missing face reads as the rectangle 0, 0, 0, 0).
// Any other k: -1 (coordinates are never negative).
FACEDETECT_EXPORT int getRect(int what, int index);

// Optional, looked up by the program at run time (a library without them works as before):

// getFacePoints(i, points): where the landmarks put the chin (the lowest point of the jaw) and the centres of the
// eye on the image's left and of the eye on its right, for detection i of the last facedetect, as six numbers
// (chin x, chin y, left eye x, y, right eye x, y) in pixels of the image file; they may lie outside the image when
// the face is cut by its edge. Returns 1 when written; 0 (nothing written) when there is no detection i or it has
// no landmarks (the lower-face cascade, or no landmark model); -1 for a null `points`.
FACEDETECT_EXPORT int getFacePoints(int index, int* points);

// getEyeOpenness(i, openness): how far open the landmarks find the eye on the image's left and the one on its
// right for detection i, as two numbers: each eye's mean lid-to-lid height per thousand of its corner-to-corner
// width (about 300 open, below 150 closed). Returns as getFacePoints does.
FACEDETECT_EXPORT int getEyeOpenness(int index, int* openness);
// getFaceSides(i, points): where the landmarks put the face's outline at about eye level on the image's left and on
// its right (x, y, x, y) for detection i, in pixels of the image file: the face's own centre lies halfway between,
// on a turned head too. Returns as getFacePoints does.
FACEDETECT_EXPORT int getFaceSides(int index, int* points);

// detectorKind(): 1 when the faces are confirmed by the face detector and given landmarks, 0 when the cascade
// works alone (the landmark model is missing or unreadable). Loads the models when they are not yet loaded, as the
// first facedetect does: once per process, about ten milliseconds from the model cache (a second and a half when
// the cache is made).
FACEDETECT_EXPORT int detectorKind(void);

// loadPersonModel(modelFile): reads the person-segmentation model (ONNX, person_segmentation.onnx) for
// getPersonMask; a second call with the same unchanged file keeps the model read (about 0.1 s). Returns 0 when the
// model is ready, -1 for a null or empty name, -2 when the file is missing, -3 when it is not a model that gives a
// person mask, -4 out of memory, -5 any other fault; after a failure getPersonMask answers with the same code.
FACEDETECT_EXPORT int loadPersonModel(const char* modelFile);

// getPersonMask(bgr, width, height, stride, divisor, mask): the person mask of the picture `bgr` (width × height
// pixels of 3 bytes, blue, green, red, as OpenCV and the program keep them; rows `stride` bytes apart), 0 (background)
// .. 255 (person), written to `mask` at the picture's size divided by `divisor`, each side rounded up, row after row
// without padding. The model sees the whole picture stretched to 256 × 256; its answer is brought to the mask's size
// and refined there with the picture as guide, so a divisor that keeps the mask near 600 pixels across keeps the work
// to a few tens of milliseconds. The model marks animals and statues too: the caller decides which region is a person.
// Returns 0 when written, -1 for bad arguments (a null pointer, a side below 1 or above 32768, a stride below 3 ×
// width), else the code of the last loadPersonModel (-2 when none was made).
FACEDETECT_EXPORT int getPersonMask(
    const unsigned char* bgr, int width, int height, int stride, int divisor, unsigned char* mask);

// loadFaceModel(modelFile): reads the learned face detector (ONNX, face_detection_short_range.onnx), the last
// resort of every following facedetect with a face cascade: when neither the cascade's candidates nor the face
// detector's own search over the whole picture give a face, the network's faces are reported, each only when the
// network is sure of it on the picture and on its mirror image (score 0.7 both ways), the shape predictor's eyes
// lie near the network's and the person mask (loadPersonModel) covers the middle of the face; without a person
// model or a landmark model it finds nothing.
// Their boxes and landmarks are as the face detector's whole search gives them. A second call with the same
// unchanged file keeps the model read. Returns as loadPersonModel does (-3: not a model that gives 896 face boxes);
// after a failure the last resort is off until a call succeeds.
FACEDETECT_EXPORT int loadFaceModel(const char* modelFile);
// setThreadCount(count): the threads the library's work may use from now on, 1 to 8 (a count outside is taken to the
// nearer end): the face search shares its scales among them (the same faces, found sooner), and OpenCV's own loops
// (the person mask's refinement, the networks) get as many. A program that runs one library per core (a batch's
// workers) asks for 1; without a call the face search keeps to the calling thread and OpenCV uses every core.
FACEDETECT_EXPORT void setThreadCount(int count);
// loadCascade(cascadeFile): reads the cascade file as the next facedetect naming it would (a file already read and
// unchanged is kept), so that the reading can be done while something else waits. Returns 0, or facedetect's -1, -3,
// -4 or -5.
FACEDETECT_EXPORT int loadCascade(const char* cascadeFile);
// prepareModels(faceModelFile, personModelFile): what a recognition needs of the two networks, at the least cost (a
// null or empty name leaves that model as it is). The learned face detector is only named: it is read when a
// facedetect first needs its last resort, so a process whose faces the cascade finds never reads it. The person
// model, which nearly every recognition runs, is read now, as loadPersonModel reads it but without the run that
// proves it (some ten milliseconds of two cores); the first getPersonMask checks what it gives instead. A model read
// so that gives no mask or no face boxes answers -3 there and finds nothing. Returns what loadPersonModel would.
FACEDETECT_EXPORT int prepareModels(const char* faceModelFile, const char* personModelFile);

#ifdef __cplusplus
}
#endif
