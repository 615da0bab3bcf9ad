# CHANGELOG.md read once at configure time, for what the packages take from
# it:
#
#   pendant_changelog_read(FILE)   reads FILE's `## VERSION (YYYY-MM-DD)`
#       sections; stops the configure unless the newest one is
#       PROJECT_VERSION. Sets PENDANT_CHANGELOG_DATE to the newest date and
#       PENDANT_CHANGELOG_EPOCH to its midnight (UTC) in seconds.
#   pendant_debian_changelog(OUT MAINTAINER)   writes the sections in
#       Debian's changelog format to OUT.
#
# The file is walked line by line with string(FIND) rather than turned into
# a list, as text with ';' or '[' does not survive CMake's lists.

# Sets OUT_DAYS to the days from 1970-01-01 to Y-M-D (the proleptic
# Gregorian calendar), and OUT_WEEKDAY to 0 for Sunday ... 6 for Saturday.
function(_pendant_civil_days y m d out_days out_weekday)
  if(m LESS_EQUAL 2)
    math(EXPR yy "${y} - 1")
  else()
    set(yy ${y})
  endif()
  math(EXPR era "${yy} / 400") # years here are after 1970, so no negative era
  math(EXPR yoe "${yy} - ${era} * 400")
  math(EXPR mp "(${m} + 9) % 12")
  math(EXPR doy "(153 * ${mp} + 2) / 5 + ${d} - 1")
  math(EXPR doe "${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy}")
  math(EXPR days "${era} * 146097 + ${doe} - 719468")
  math(EXPR weekday "(${days} + 4) % 7") # 1970-01-01 was a Thursday
  set(${out_days} ${days} PARENT_SCOPE)
  set(${out_weekday} ${weekday} PARENT_SCOPE)
endfunction()

# Takes the first line of the variable named by text_var (without its line
# feed) into line_var, leaving the rest.
macro(pendant_changelog_take_line text_var line_var)
  string(FIND "${${text_var}}" "\n" _pendant_eol)
  if(_pendant_eol EQUAL -1)
    set(${line_var} "${${text_var}}")
    set(${text_var} "")
  else()
    string(SUBSTRING "${${text_var}}" 0 ${_pendant_eol} ${line_var})
    math(EXPR _pendant_next "${_pendant_eol} + 1")
    string(SUBSTRING "${${text_var}}" ${_pendant_next} -1 ${text_var})
  endif()
endmacro()

function(pendant_changelog_read file)
  file(READ ${file} text)
  set(versions "")
  set(dates "")
  set(rest "${text}")
  while(NOT rest STREQUAL "")
    pendant_changelog_take_line(rest line)
    if(line MATCHES "^## ")
      if(NOT line MATCHES "^## ([0-9]+(\\.[0-9]+)*) \\(([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])\\)$")
        message(FATAL_ERROR "${file}: a section heading is `## VERSION (YYYY-MM-DD)`, not: ${line}")
      endif()
      list(APPEND versions ${CMAKE_MATCH_1})
      list(APPEND dates "${CMAKE_MATCH_3}-${CMAKE_MATCH_4}-${CMAKE_MATCH_5}")
    endif()
  endwhile()
  if(NOT versions)
    message(FATAL_ERROR "${file} has no `## VERSION (YYYY-MM-DD)` section")
  endif()
  list(GET versions 0 newest)
  if(NOT newest STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "${file}: its newest section is ${newest}, but project() says "
                        "${PROJECT_VERSION}; the newest section (the first) must be the version "
                        "project() names")
  endif()
  list(GET dates 0 date)
  string(REPLACE "-" ";" ymd ${date})
  list(GET ymd 0 y)
  list(GET ymd 1 m)
  list(GET ymd 2 d)
  math(EXPR m "${m}") # no leading zero, which math() would take for octal
  math(EXPR d "${d}")
  _pendant_civil_days(${y} ${m} ${d} days weekday)
  math(EXPR epoch "${days} * 86400")
  set(PENDANT_CHANGELOG_FILE ${file} PARENT_SCOPE)
  set(PENDANT_CHANGELOG_DATE ${date} PARENT_SCOPE)
  set(PENDANT_CHANGELOG_EPOCH ${epoch} PARENT_SCOPE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
endfunction()

# Debian's changelog: for each section
#
#   pendant-test (VERSION) unstable; urgency=medium
#
#     text lines, and `- ` items as `  * ` items
#
#    -- MAINTAINER  Wed, 09 Dec 2026 00:00:00 +0000
#
# The commit history has days, not times of day: an entry's time is its
# day's midnight in UTC, plus an hour for each older entry of the same day,
# since each entry must be newer than the one before it.
function(pendant_debian_changelog out maintainer)
  set(names_of_days Sun Mon Tue Wed Thu Fri Sat)
  set(names_of_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  file(READ ${PENDANT_CHANGELOG_FILE} text)
  string(REGEX MATCHALL "\n## [^ ]+ \\(([0-9-]+)\\)" headings "\n${text}")
  set(all_dates "")
  foreach(heading IN LISTS headings)
    string(REGEX MATCH "\\(([0-9-]+)\\)" _ "${heading}")
    list(APPEND all_dates ${CMAKE_MATCH_1})
  endforeach()
  set(section_index 0)
  set(result "")
  set(trailer "") # of the section being written
  set(in_section FALSE)
  set(pending_blank FALSE)
  set(rest "${text}")
  while(NOT rest STREQUAL "")
    pendant_changelog_take_line(rest line)
    if(line MATCHES "^## ([^ ]+) \\(([0-9]+)-([0-9]+)-([0-9]+)\\)$")
      set(version ${CMAKE_MATCH_1})
      set(y ${CMAKE_MATCH_2})
      math(EXPR m "${CMAKE_MATCH_3}")
      math(EXPR d "${CMAKE_MATCH_4}")
      _pendant_civil_days(${y} ${m} ${d} days weekday)
      list(GET names_of_days ${weekday} day_name)
      math(EXPR month_index "${m} - 1")
      list(GET names_of_months ${month_index} month_name)
      if(d LESS 10)
        set(d "0${d}")
      endif()
      # Older entries of the same day.
      list(GET all_dates ${section_index} this_date)
      list(LENGTH all_dates count)
      set(hour 0)
      math(EXPR j "${section_index} + 1")
      while(j LESS count)
        list(GET all_dates ${j} other)
        if(other STREQUAL this_date)
          math(EXPR hour "${hour} + 1")
        endif()
        math(EXPR j "${j} + 1")
      endwhile()
      math(EXPR section_index "${section_index} + 1")
      if(hour LESS 10)
        set(hour "0${hour}")
      endif()
      if(NOT trailer STREQUAL "")
        string(APPEND result "\n${trailer}\n\n")
      endif()
      string(APPEND result "${PROJECT_NAME} (${version}) unstable; urgency=medium\n")
      set(trailer " -- ${maintainer}  ${day_name}, ${d} ${month_name} ${y} ${hour}:00:00 +0000")
      set(in_section TRUE)
      set(pending_blank FALSE)
    elseif(NOT in_section)
      continue() # the file's own introduction
    elseif(line STREQUAL "")
      # Blank lines: one between paragraphs, none at a section's end.
      set(pending_blank TRUE)
    else()
      if(pending_blank OR result MATCHES "urgency=medium\n$")
        string(APPEND result "\n")
      endif()
      set(pending_blank FALSE)
      if(line MATCHES "^- (.*)")
        string(APPEND result "  * ${CMAKE_MATCH_1}\n")
      elseif(line MATCHES "^  (.*)")
        string(APPEND result "    ${CMAKE_MATCH_1}\n")
      else()
        string(APPEND result "  ${line}\n")
      endif()
    endif()
  endwhile()
  string(APPEND result "\n${trailer}\n")
  file(WRITE ${out} "${result}")
endfunction()
