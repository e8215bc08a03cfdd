/* Prints every city of Debian's libgeonames (the GeoNames "cities with at least 15,000 people"
 * data set) as one tab-separated line: name, state, country, country code, latitude, longitude,
 * population. libgeonames is GPL-3: this program is built and run only by make-region-files and
 * is never linked into anything that ships. */
#include <geonames.h>
#include <stdio.h>

static void Field(const char *text, char end) {
  for (const char *c = text ? text : ""; *c; ++c) putchar(*c == '\t' || *c == '\n' ? ' ' : *c);
  putchar(end);
}

int main(void) {
  const int count = geonames_get_n_cities();
  for (int i = 0; i < count; ++i) {
    GeonamesCity *city = geonames_get_city(i);
    if (city == NULL) continue;
    Field(geonames_city_get_name(city), '\t');
    Field(geonames_city_get_state(city), '\t');
    Field(geonames_city_get_country(city), '\t');
    Field(geonames_city_get_country_code(city), '\t');
    printf("%.5f\t%.5f\t%u\n", geonames_city_get_latitude(city),
           geonames_city_get_longitude(city), geonames_city_get_population(city));
    geonames_city_free(city);
  }
  return count > 0 ? 0 : 1;
}
