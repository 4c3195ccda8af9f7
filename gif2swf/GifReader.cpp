#include "GifReader.h"

#include "Errors.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#if !defined(GIFLIB_MAJOR) || GIFLIB_MAJOR < 5
#error "giflib 5 or later is needed"
#endif

namespace gif2swf {
namespace {

void closeGif(GifFileType* gif) {
#if GIFLIB_MAJOR == 5 && GIFLIB_MINOR == 0
    DGifCloseFile(gif);
#else
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
#endif
}

// giflib keeps a record of every image descriptor it has read (for its slurping reader);
// dropping it after each image keeps memory flat however many frames a file has.
void forgetSavedImages(GifFileType* gif) {
    GifFreeSavedImages(gif);
    gif->SavedImages = nullptr;
    gif->ImageCount = 0;
}

} // namespace

int GifReader::readFromSource(GifFileType* gif, GifByteType* buffer, int size) {
    auto* reader = static_cast<GifReader*>(gif->UserData);
    const size_t got = size <= 0 ? 0 : reader->source_.read(buffer, static_cast<size_t>(size));
    if (reader->firstRead_) {
        // A file too short for a header is still known not to be a GIF by its first bytes.
        reader->firstRead_ = false;
        reader->signatureFits_ = std::memcmp(buffer, "GIF", std::min<size_t>(got, 3)) == 0;
    }
    reader->lastReadWhole_ = size > 0 && got == static_cast<size_t>(size);
    if (reader->lastReadWhole_) {
        reader->lastByte_ = buffer[size - 1];
    }
    return static_cast<int>(got);
}

GifReader::GifReader(ByteSource& source, std::string name)
    : source_(source), name_(std::move(name)) {
    int error = 0;
    gif_ = DGifOpen(this, readFromSource, &error);
    if (gif_ == nullptr) {
        fail(error, false);
    }
    screenWidth_ = gif_->SWidth;
    screenHeight_ = gif_->SHeight;
}

GifReader::~GifReader() {
    if (gif_ != nullptr) {
        closeGif(gif_);
    }
}

void GifReader::fail(int gifError, bool inImage) {
    const int frame = inImage ? imageCount_ : 0;
    switch (gifError) {
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_NO_SCRN_DSCR:
    case D_GIF_ERR_NO_IMAG_DSCR:
    case D_GIF_ERR_EOF_TOO_SOON:
        if (source_.failure() != 0) {
            throw ConvertError(Error::ReadFailed, name_, systemReason(source_.failure()), frame);
        }
        if (source_.consumed() == 0) {
            throw ConvertError(Error::EmptyFile, name_);
        }
        if (gif_ == nullptr) {
            throw ConvertError(signatureFits_ ? Error::TruncatedHeader : Error::NotGif, name_);
        }
        if (inImage && lastReadWhole_ && lastByte_ > 8 && rowsLeft_ < 0) {
            throw ConvertError(Error::BadCodeSize, name_, std::to_string(lastByte_), frame);
        }
        throw ConvertError(inImage ? Error::TruncatedImage : Error::TruncatedFile, name_, {},
                           frame);
    case D_GIF_ERR_NOT_GIF_FILE:
        throw ConvertError(Error::NotGif, name_);
    case D_GIF_ERR_WRONG_RECORD:
        throw ConvertError(Error::UnknownBlock, name_, {}, frame);
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        throw ConvertError(Error::OutOfMemory, name_, {}, frame);
    default: {
        const char* text = GifErrorString(gifError);
        throw ConvertError(Error::CorruptImage, name_, text != nullptr ? text : "", frame);
    }
    }
}

void GifReader::readExtension() {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif_, &code, &block) == GIF_ERROR) {
        fail(gif_->Error, false);
    }
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
        GraphicsControlBlock control;
        // A malformed control block is ignored, as viewers do.
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
            pendingDisposal_ =
                control.DisposalMode >= DISPOSE_DO_NOT && control.DisposalMode <= DISPOSE_PREVIOUS
                    ? static_cast<Disposal>(control.DisposalMode)
                    : Disposal::Unspecified;
            pendingDelay_ = control.DelayTime;
            pendingTransparent_ = control.TransparentColor;
        }
    }
    // The looping extension: "NETSCAPE2.0" (or the older "ANIMEXTS1.0"), then a sub-block
    // of 1 and the count, little-endian. Viewers take the first one.
    const bool looping = code == APPLICATION_EXT_FUNC_CODE && block != nullptr && block[0] == 11 &&
                         (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                          std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
    bool first = true;
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif_, &block) == GIF_ERROR) {
            fail(gif_->Error, false);
        }
        if (looping && first && block != nullptr && block[0] >= 3 && block[1] == 1 &&
            loopCount_ < 0) {
            loopCount_ = block[2] | block[3] << 8;
        }
        first = false;
    }
}

bool GifReader::nextImage(GifImage& image) {
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif_, &type) == GIF_ERROR) {
            // A file that ends cleanly after an image but lacks the trailer byte is shown
            // whole by every viewer.
            if (gif_->Error == D_GIF_ERR_READ_FAILED && source_.failure() == 0 && imageCount_ > 0) {
                return false;
            }
            fail(gif_->Error, false);
        }
        if (type == TERMINATE_RECORD_TYPE) {
            return false;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            readExtension();
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) {
            fail(D_GIF_ERR_WRONG_RECORD, false);
        }
        ++imageCount_;
        rowsLeft_ = -1; // in the descriptor
        if (DGifGetImageDesc(gif_) == GIF_ERROR) {
            fail(gif_->Error, true);
        }
        forgetSavedImages(gif_);

        const GifImageDesc& desc = gif_->Image;
        image.number = imageCount_;
        image.left = desc.Left;
        image.top = desc.Top;
        image.width = desc.Width;
        image.height = desc.Height;
        image.interlaced = desc.Interlace;
        image.disposal = pendingDisposal_;
        image.delayCentiseconds = pendingDelay_;

        const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif_->SColorMap;
        image.greyColours = map == nullptr;
        if (map == nullptr) {
            for (uint32_t i = 0; i < 256; ++i) {
                image.colours[i] = 0xFF000000u | i << 16 | i << 8 | i;
            }
        } else {
            image.colours.fill(0xFF000000u);
            const int count = std::min(map->ColorCount, 256);
            for (int i = 0; i < count; ++i) {
                const GifColorType& c = map->Colors[i];
                image.colours[static_cast<size_t>(i)] =
                    0xFF000000u | uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
            }
        }
        if (pendingTransparent_ >= 0 && pendingTransparent_ < 256) {
            image.colours[static_cast<size_t>(pendingTransparent_)] = 0;
        }

        pendingDisposal_ = Disposal::Unspecified;
        pendingDelay_ = 0;
        pendingTransparent_ = -1;
        rowsLeft_ = image.width > 0 ? image.height : 0;
        rowWidth_ = image.width;
        rowsRead_ = 0;
        return true;
    }
}

// The data is read through giflib, which keeps track of the file, and decoded by our own
// decoder, which gives giflib's pixels and faults, faster (README.md has the figures).
int GifReader::readFollowingBlocks(ImageData* data) {
    // giflib would take two reads a block; the block and the next one's length go in one.
    uint8_t length = 0;
    if (source_.read(&length, 1) != 1) {
        return D_GIF_ERR_READ_FAILED;
    }
    uint8_t skipped[256];
    while (length != 0) {
        const size_t want = size_t{length} + 1;
        const size_t at = data != nullptr ? data->size() : 0;
        if (data != nullptr) {
            data->resize(at + want);
        }
        uint8_t* to = data != nullptr ? data->data() + at : skipped;
        const size_t got = source_.read(to, want);
        if (got != want) {
            // A whole block still counts, as when giflib reads it alone.
            if (data != nullptr) {
                data->resize(at + (got >= length ? length : 0));
            }
            return D_GIF_ERR_READ_FAILED;
        }
        length = to[length];
        if (data != nullptr) {
            data->pop_back();
        }
    }
    return 0;
}

// The data is read through giflib, which keeps track of the file, and decoded by our own
// decoder, which gives giflib's pixels and faults, faster (README.md has the figures).
void GifReader::readImageData() {
    imageData_.clear();
    imageDataError_ = 0;
    int codeSize = 0;
    GifByteType* block = nullptr;
    // giflib hands over the first block with the code size; the rest are read directly.
    if (DGifGetCode(gif_, &codeSize, &block) == GIF_ERROR) {
        imageDataError_ = gif_->Error;
    } else if (block != nullptr) {
        imageData_.insert(imageData_.end(), block + 1, block + 1 + block[0]);
        imageDataError_ = readFollowingBlocks(&imageData_);
    }
    const size_t size = imageData_.size();
    imageData_.resize(size + LzwDecoder::kPadding, 0);
    decoder_.start(codeSize, imageData_.data(), size,
                   static_cast<size_t>(rowWidth_) * static_cast<size_t>(rowsLeft_));
}

const uint8_t* GifReader::readRow() {
    if (rowsLeft_ <= 0) {
        throw std::logic_error("read past the last row of an image");
    }
    if (rowsRead_ == 0) {
        readImageData();
    }
    const size_t start = static_cast<size_t>(rowsRead_) * static_cast<size_t>(rowWidth_);
    ++rowsRead_;
    --rowsLeft_;
    switch (decoder_.decodeTo(start + static_cast<size_t>(rowWidth_))) {
    case LzwDecoder::Status::Done:
        break;
    case LzwDecoder::Status::EarlyEnd:
        fail(D_GIF_ERR_EOF_TOO_SOON, true);
    case LzwDecoder::Status::OutOfData:
        // giflib meets the end of the sub-blocks as a defect, a short file as a failed read.
        fail(imageDataError_ != 0 ? imageDataError_ : D_GIF_ERR_IMAGE_DEFECT, true);
    case LzwDecoder::Status::Defect:
        fail(D_GIF_ERR_IMAGE_DEFECT, true);
    }
    // Like giflib, an image whose pixels are whole still fails when the rest of its data
    // cannot be read.
    if (rowsLeft_ == 0 && imageDataError_ != 0) {
        fail(imageDataError_, true);
    }
    return decoder_.pixels() + start;
}

void GifReader::skipImageData() {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif_, &codeSize, &block) == GIF_ERROR) {
        fail(gif_->Error, true);
    }
    if (block != nullptr) {
        if (const int error = readFollowingBlocks(nullptr)) {
            fail(error, true);
        }
    }
    rowsLeft_ = 0;
}

int GifReader::interlacedRowY(int fileRow, int height) {
    // Four passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
    const int pass1 = (height + 7) / 8;
    if (fileRow < pass1) {
        return fileRow * 8;
    }
    fileRow -= pass1;
    const int pass2 = (height + 3) / 8;
    if (fileRow < pass2) {
        return 4 + fileRow * 8;
    }
    fileRow -= pass2;
    const int pass3 = (height + 1) / 4;
    if (fileRow < pass3) {
        return 2 + fileRow * 4;
    }
    fileRow -= pass3;
    return 1 + fileRow * 2;
}

} // namespace gif2swf
