// Embedded images of JWW drawings from version 700: the image list, the temp folder through
// which image bytes pass between reading and writing, and the image section itself.
#pragma once

#include "bytes.h"
#include "fs.h"
#include "jwtype.h"

#include <filesystem>
#include <vector>

namespace quellmark {

// The image list of one conversion context and the folder its temp files go to.
struct ImageStore {
    explicit ImageStore(FileSystem& fileSystem = RealFileSystem()) : Fs(&fileSystem) {}

    std::vector<TBindImageType> Images;
    std::filesystem::path TempFolder;  // must be set before a drawing with images is read
    FileSystem* Fs;
    // When false the reader records the entries but keeps no bytes (for looking at a drawing
    // without converting it); such a store cannot write an image section.
    bool KeepBytes = true;
};

// Empties the list (the temp files stay; DeleteTempImages removes them).
void ClearImageList(ImageStore& store);

// Deletes every temp file of the list; failures are ignored.
void DeleteTempImages(ImageStore& store);

// Reads the image section. Every image with a name and bytes goes to a temp file named by the
// program; a temp file that cannot be written fails the read.
void ReadImageSection(ByteReader& in, ImageStore& store);

// Sets the bind flag of every image a text of the drawing refers to ("^@BM%temp%NAME,...": the
// first image whose upper-cased name begins with the upper-cased NAME), and clears the others.
void FlagReferencedImages(ImageStore& store, const TEntityCollection& top,
                          const std::vector<TEntBlockDef>& blocks);

// Writes the images that texts of the drawing refer to, with their bytes from the temp files.
void WriteImageSection(ByteWriter& out, ImageStore& store, const TEntityCollection& top,
                       const std::vector<TEntBlockDef>& blocks);

// The name a text "^@BM%temp%NAME,..." refers to, or empty when the text refers to no image.
std::string_view ImageReferenceName(std::string_view text);

}  // namespace quellmark

namespace quellmark {

// The program's own image list (the window's context).
ImageStore& DefaultImageStore();
void ClearImageList();
void DeleteTempImages();

}  // namespace quellmark
