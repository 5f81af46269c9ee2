#pragma once
// Helpers shared by the picture files (pictures.cpp, picture_dates.cpp); not for other callers.

#include "runtime/pictures.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::runtime {

namespace detail {
std::size_t utf8Length(std::string_view s);
std::string_view utf8Prefix(std::string_view s, std::size_t chars);
bool isDigit(char c);
bool isLetter(char c);
char upper(char c);
char lower(char c);
}  // namespace detail

// True when a key-in model has digit positions only (it then formats and reads numbers).
bool keyInNumeric(const Picture& p);

std::string formatDateSteps(const std::vector<PictureStep>& steps, std::int64_t dayNumber);
std::string formatTimeSteps(const std::vector<PictureStep>& steps, bool twelveHour, std::int64_t timeValue);
DeformatResult deformatDateSteps(const std::vector<PictureStep>& steps, std::string_view text);
DeformatResult deformatTimeSteps(const std::vector<PictureStep>& steps, bool twelveHour, std::string_view text);

}  // namespace sitedex::runtime
