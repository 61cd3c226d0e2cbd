// Embedded images of JWW drawings from version 700: the image list, the temp folder through
// which image bytes pass between reading and writing, and the image section itself.
#pragma once

#include "bytes.h"
#include "../platform/files.h"
#include "jwtype.h"

#include <filesystem>
#include <vector>

namespace quellmark {

// The image list of one conversion context and the folder its temp file goes to. The bytes of
// all images of a drawing go into one temp file, one after the other, so a drawing of thousands
// of tiny images costs one file, not thousands.
struct ImageStore {
    explicit ImageStore(FileSystem& fileSystem) : Fs(&fileSystem) {}

    std::vector<TBindImageType> Images;
    std::filesystem::path TempFolder;  // must be set before a drawing with images is read
    std::filesystem::path BytesFile;   // the image file of the drawing read; empty when none
    FileSystem* Fs;
    FileBytes ReadBack;  // the image file read back for writing; its memory serves each drawing
    // When false the reader records the entries but keeps no bytes (for looking at a drawing
    // without converting it); such a store cannot write an image section.
    bool KeepBytes = true;
};

// Empties the list (the temp file stays; DeleteTempImages removes it).
void ClearImageList(ImageStore& store);

// Deletes the temp file of the list's images; a failure is ignored.
void DeleteTempImages(ImageStore& store);

// Reads the image section. The bytes of every image with a name and bytes go to the store's
// image file, named by the program; a temp file that cannot be written fails the read.
void ReadImageSection(ByteReader& in, ImageStore& store);

class ScanState;

// The scanning pass over the image section (scan.h): the checks of ReadImageSection, no bytes
// kept. The writer writes only the images that have bytes and that a text refers to (the texts'
// references are in the state by then): each other one is an edit that drops it.
void ScanImageSection(ByteReader& in, ScanState& state);

// Which of the images (their names upper-cased) the references bind: each reference (an
// upper-cased name) the first image whose name begins with it.
std::vector<bool> BindImages(const std::vector<std::string>& upperImageNames,
                             const std::vector<std::string>& upperReferences);

// Sets the bind flag of every image a text of the drawing refers to ("^@BM%temp%NAME,...": the
// first image whose upper-cased name begins with the upper-cased NAME), and clears the others.
void FlagReferencedImages(ImageStore& store, const TEntityCollection& top,
                          const std::vector<TEntBlockDef>& blocks);

// Writes the images that texts of the drawing refer to, with their bytes from the temp file.
void WriteImageSection(ByteWriter& out, ImageStore& store, const TEntityCollection& top,
                       const std::vector<TEntBlockDef>& blocks);

// The name a text "^@BM%temp%NAME,..." refers to, or empty when the text refers to no image.
std::string_view ImageReferenceName(std::string_view text);

}  // namespace quellmark
