# The hardening a distribution builds its packages with: checked copies of the
# string and memory functions, stack protector, read-only relocations bound at
# start. Optimised builds only (the checks need the optimiser), and not with
# the sanitizers, which bring their own.
option(QM90_HARDENING "Build with the distribution's hardening flags" ON)
if(QM90_HARDENING AND NOT WIN32 AND NOT QM90_SANITIZE)
  add_compile_options(-fstack-protector-strong
                      "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
