# Install rules and the Debian packages (cpack -G DEB in the build folder):
#   kdr-server   the server and its administrator's commands, the service unit, the default
#                settings, the system account and its data folder (/var/lib/kdr);
#   kdr-desktop  the host, the module and the Qt widget set, in /usr/lib/kdr (the host finds the
#                module and the widget set beside itself), with kdr-host on the PATH.
include(GNUInstallDirs)
set(KDR_DESKTOP_DIR lib/kdr)

install(TARGETS kdr-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
install(FILES packaging/kdr-server.service DESTINATION lib/systemd/system COMPONENT server)
install(FILES packaging/kdr-server.conf DESTINATION /etc/kdr COMPONENT server)
install(FILES packaging/kdr-server.sysusers DESTINATION lib/sysusers.d RENAME kdr-server.conf COMPONENT server)
install(FILES docs/admin.md docs/wire.md docs/several-servers.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kdr-server
        COMPONENT server)

set_target_properties(kdr-host kdr03020 kdr-qt kdr-platform PROPERTIES INSTALL_RPATH "$ORIGIN")
# libkdr-tls.so, the HTTPS client, is loaded from beside libkdr-platform.so when the server's address is https.
install(TARGETS kdr-host kdr03020 kdr-qt kdr-platform kdr-tls RUNTIME DESTINATION ${KDR_DESKTOP_DIR} COMPONENT desktop
        LIBRARY DESTINATION ${KDR_DESKTOP_DIR} COMPONENT desktop)
install(CODE "file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
              file(CREATE_LINK ../${KDR_DESKTOP_DIR}/kdr-host
                   \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kdr-host\" SYMBOLIC)"
        COMPONENT desktop)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Equipe kdr <kdr@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server desktop)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME kdr-server)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "Servidor de aplicação dos parâmetros de faturamento (kdr-server)\n"
                                       " O servidor, os comandos do administrador e o serviço do systemd.")
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_SERVER_PACKAGE_RECOMMENDS "postgresql-client")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/deb-control/postinst ${PROJECT_SOURCE_DIR}/packaging/deb-control/prerm
    ${PROJECT_SOURCE_DIR}/packaging/deb-control/postrm ${PROJECT_SOURCE_DIR}/packaging/deb-control/conffiles)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME kdr-desktop)
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION "Desktop dos parâmetros de faturamento (kdr-host)\n"
                                        " O host, o módulo de parâmetros de faturamento e as janelas Qt.")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
# The desktop's own libraries sit beside the host: dpkg-shlibdeps finds them there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)

include(CPack)
