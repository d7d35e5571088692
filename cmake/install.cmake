# Installation and packaging.
install(TARGETS varnak RUNTIME DESTINATION bin)
