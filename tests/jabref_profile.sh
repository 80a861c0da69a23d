# Sourced by the tests that run JabRef. jabref_profile DIR gives it a profile
# of its own in DIR: preferences, Java's user and temporary files, and remote
# control off. With remote control on (JabRef's default), a JabRef already
# running on the machine, or another test's, is handed the job instead and
# this one exits having done nothing.
jabref_profile() {
    local home=$1 node
    # The preferences node of JabRef 3 and of JabRef 5 and later.
    for node in net/sf/jabref org/jabref; do
        mkdir -p "$home/.java/.userPrefs/$node"
        cat >"$home/.java/.userPrefs/$node/prefs.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!DOCTYPE map SYSTEM "http://java.sun.com/dtd/preferences.dtd">
<map MAP_XML_VERSION="1.0">
  <entry key="useRemoteServer" value="false"/>
</map>
XML
    done
    export HOME=$home
    export JAVA_TOOL_OPTIONS="-XX:-UsePerfData -Djava.io.tmpdir=$home -Duser.home=$home -Djava.util.prefs.userRoot=$home"
}
