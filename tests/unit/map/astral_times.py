# Sunrise, sunset and civil dawn and dusk by python3-astral (1.6, Debian 12), for the sun
# test to compare with its own crossings: one line "lat lon kind utc-seconds" per event.
#
# Astral's public sunrise takes the sun's declination and equation of time at 0h UTC of
# the date, which puts events off by up to three minutes at high latitudes near the
# equinoxes. Its own formulas are therefore evaluated again at the time they gave, twice.
import calendar
import datetime
import math

from astral import Astral

PLACES = [  # (latitude, longitude, date): high latitudes, the south, both sides of the date line
    (36.62159, 139.77150, (2008, 7, 18)),
    (35.68, 139.69, (2024, 3, 20)),
    (-0.18, -78.47, (2024, 6, 21)),
    (-33.87, 151.21, (2024, 12, 21)),
    (-54.80, -68.30, (2030, 9, 1)),
    (69.65, 18.96, (2024, 3, 1)),
    (64.15, -21.94, (2019, 10, 15)),
    (61.22, -149.90, (2024, 12, 21)),
    (-18.14, 178.44, (2024, 1, 15)),
    (-13.83, -171.76, (2024, 7, 4)),
    (51.50, -0.13, (2024, 11, 3)),
    (-33.92, 18.42, (2012, 6, 21)),
]
EVENTS = [("rise", 90.833, +1), ("set", 90.833, -1), ("dawn", 96.0, +1), ("dusk", 96.0, -1)]

a = Astral()
for lat, lon, ymd in PLACES:
    midnight = datetime.datetime(*ymd, tzinfo=datetime.timezone.utc)
    for kind, zenith, rising in EVENTS:
        public = (a.sunrise_utc if kind == "rise" else a.sunset_utc if kind == "set"
                  else a.dawn_utc if kind == "dawn" else a.dusk_utc)
        when = public(midnight.date(), lat, lon, *([6] if zenith == 96.0 else []))
        for _ in range(2):
            t = a._jday_to_jcentury(a._julianday(when.replace(tzinfo=None)))
            hour_angle = rising * math.degrees(a._hour_angle(lat, a._sun_declination(t), zenith))
            minutes = 720.0 + 4.0 * (-lon - hour_angle) - a._eq_of_time(t)
            days = round((when - midnight - datetime.timedelta(minutes=minutes)).total_seconds() / 86400)
            when = midnight + datetime.timedelta(days=days, minutes=minutes)
        print(lat, lon, kind, round(when.timestamp()))
