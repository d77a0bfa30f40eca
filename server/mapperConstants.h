#pragma once

// Fixed texts of the request mapper's answers and paths, shared by its
// branches and the protocol processors.
namespace mapperConstants_n {

inline constexpr char htmlContentType[] = "text/html; charset=ISO-8859-1";

// The area prefixes; the upload and download prefixes may stand anywhere in
// a path, the others begin it.
inline constexpr char uploadArea[] = "/upload-area";
inline constexpr char downloadArea[] = "/download-area";
inline constexpr char firmwareArea[] = "/firmware-area";
inline constexpr char generatorPrefix[] = "/gen-data/";

} // namespace mapperConstants_n
