// Directory listings and status queries.

#ifndef VARNAK_PLATFORM_DIRECTORY_H_
#define VARNAK_PLATFORM_DIRECTORY_H_

#endif  // VARNAK_PLATFORM_DIRECTORY_H_
