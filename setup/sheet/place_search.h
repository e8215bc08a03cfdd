// Finding a place of the region files by its name, or a point by its coordinates, for the city
// chooser and the Locations page's code fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cirrodex {

// A name as searches compare it: case folded, accents and other marks removed (also beyond
// Latin-1: "Łódź" gives "lodz"), a few letters spelt out ("ß" gives "ss"), UTF-8.
std::string FoldForSearch(std::wstring_view text);

struct PlaceMatch {
  std::wstring label;  // "Zurich, Canton of Zurich (Switzerland)"
  std::wstring name;   // the name as the region file writes it, or the coordinate code's name
  std::wstring code;   // eight characters, or a coordinate code such as "N5252E01340"
  int region = -1;     // index into FindRegions() of the install folder
  int location = -1;   // index of the line in that region's file; -1 for a coordinate code
};

// Every location of the region files, held compactly (names in one pool of text).
class PlaceIndex {
 public:
  // Reads every region file of "<installFolder>\citycodes" in the order of FindRegions; a file
  // that cannot be read adds nothing.
  void Load(const std::wstring& installFolder);
  size_t size() const { return places_.size(); }

  // At most `limit` matches of `query`, best first: with two or more characters, places whose
  // name equals the query, then those that start with it, then those with a word that starts
  // with it (ignoring case and accents); among equals the larger city first (the region files'
  // first codes are the large cities of each country), then the shorter name, then file order.
  // A pair of coordinates ("52.52, 13.40", "52.52N 13.40E", "-33.87 151.21") gives its
  // coordinate code alone, named after the nearest place ("near ..." beyond 5 km). Anything else
  // gives nothing.
  std::vector<PlaceMatch> Search(std::wstring_view query, size_t limit = 50) const;

 private:
  struct Place {
    uint32_t text;      // name, folded name and state, one after the other in pool_
    uint16_t nameSize;  // bytes of UTF-8
    uint16_t foldedSize;
    uint16_t stateSize;
    uint16_t region;
    uint32_t location;
    float latitude;
    float longitude;
    char code[8];
    bool major;  // a code of the first list, which held the large cities ("UKXX0085")
  };
  PlaceMatch MatchOf(const Place& place) const;
  std::string_view Name(const Place& place) const;
  std::string_view Folded(const Place& place) const;
  std::string_view State(const Place& place) const;

  std::vector<Place> places_;
  std::string pool_;
  std::vector<std::wstring> regionNames_;  // as the files name them ("Switzerland")
};

// Reads a pair of coordinates; false for any other text or a point off the globe.
bool ParseCoordinates(std::wstring_view text, double& latitude, double& longitude);

// "N5252E01340" of a point, in hundredths of a degree rounded half away from zero.
std::wstring CoordinateCode(double latitude, double longitude);

}  // namespace cirrodex
