// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "media/Encoder.h"
#include "media/MediaInfo2.h"

// Takes one JPEG frame from the start of a video with ffmpeg.
class CVideoThumbnail : public CEncoder {
public:
    CVideoThumbnail(CTask* task, std::string inputPath, std::string outputPath);

    bool Start() override;
    std::string GetEncoderPath() override;
    // Keeps the frame number of each ffmpeg status line in m_nFrameCount.
    bool ParseLine(const std::string& line) override;
    bool CanPause() override { return false; }
    bool CanCancel() override { return false; }

    // The frame number of an ffmpeg status line ("frame=  1 ... time=00:00:00.40 ...").
    static bool ParseFrameCount(std::string_view line, int* frames);

    std::string m_strInputPath;
    std::string m_strOutputPath;
    int m_nFrameCount = 0;
    // Where the picture is taken from, in seconds; 0 is the first second.
    double m_fAt = 0;
};

// The ffmpeg to run for `inputPath`: encoder/ffmpeg-webm for .webm and .ogg input (any letter
// case), encoder/ffmpeg for the rest, from the installation folder when it is there and
// executable; otherwise the ffmpeg found on PATH ("ffmpeg" when there is none).
std::string GetFfmpegPath(std::string_view inputPath);
// Whether there is an ffmpeg to run for `inputPath` at all.
bool IsFfmpegFound(std::string_view inputPath);

// The moment, in seconds, from which a picture can no longer be taken: one frame before the end
// of the video (its frame rate, else 25 frames a second).
double LastPictureMoment(const CMediaInfo2& video);

// Writes (or overwrites) `jpegPath` with one frame from the start of the video `inputPath`.
// True when ffmpeg exited with 0 and reported at least one frame. Refuses, without running
// anything, to write over the input itself.
bool MakeStillPicture(const std::string& inputPath, const std::string& jpegPath,
                      double atSeconds = 0);

// The mean brightness (luma, 0 to 255) of the JPEG picture ffmpeg wrote at `picturePath`;
// nullopt when it cannot be read as one.
std::optional<double> MeasurePictureLuma(const std::string& picturePath);
// A picture too dark to tell what the video shows.
bool IsNearlyBlack(double luma);
// A moment of the video, in seconds, after the first second, whose picture is not nearly black,
// tried at a few points through its `duration`; `scratchJpeg` is written and deleted. Nullopt
// when every one tried is dark or none can be taken.
std::optional<double> FindBrighterMoment(const std::string& inputPath, double duration,
                                         const std::string& scratchJpeg);
